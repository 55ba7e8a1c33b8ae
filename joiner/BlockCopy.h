#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>

class QFileDevice;

//! How the files of a copy are named in its errors.
struct CopyNames
{
    QString source;
    QString target;
};

/*!
    Copies \a count bytes of \a source, starting at the 0-based byte
    \a offset, to the current position of \a target, in large blocks and
    without holding more than one block in memory. The kernel copies
    where it can (copy_file_range); otherwise a read/write loop does.

    After each block \a copied is told its size; when it returns false
    the copy stops with SystemError 18.

    Both files must be open; \a target must not hold unflushed buffered
    writes. Throws SystemError: 62 when \a source ends before \a count
    bytes, otherwise as SystemError::fromErrno() maps the system's error
    (61 when the disk is full), naming the file as \a names give it.
*/
void copyBlocks(QFileDevice &source, qint64 offset, QFileDevice &target, qint64 count,
                const std::function<bool(qint64 copied)> &copied = {}, const CopyNames &names = {});

//! Writes \a bytes at the current position of \a target's handle, as
//! copyBlocks() does; throws SystemError as SystemError::fromErrno() maps it.
void writeBlock(QFileDevice &target, QByteArrayView bytes, const QString &targetName = {});
