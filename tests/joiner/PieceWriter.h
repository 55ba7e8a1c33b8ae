#pragma once

// Writes what the joiner tests read: stencils and piece files the way the splitter
// writes them, cabinets, and an EXTRACT that takes its time.

#include "../TestFiles.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QtEndian>

#include <unistd.h>

namespace PieceWriter {

template<typename T>
inline QByteArray littleEndian(T v)
{
    char b[sizeof(T)];
    qToLittleEndian(v, b);
    return QByteArray(b, sizeof(T));
}
inline QByteArray int16(qint16 v) { return littleEndian(v); }
inline QByteArray int32(qint32 v) { return littleEndian(v); }

//! A stencil record; \a baseName is already in the stencil's code page.
inline QByteArray stencil(const QByteArray &baseName, qint16 pieceCount, qint32 firstNumber,
                          qint32 unnamed = 0x4b56)
{
    return int32(unnamed) + int16(qint16(baseName.size())) + baseName + int16(pieceCount)
            + int32(firstNumber);
}

//! A piece record: array header, the data and the trailing value.
inline QByteArray piece(const QByteArray &data, qint16 dimensions = 1, qint32 lowerBound = 0,
                        qint32 trailer = 0)
{
    return int16(dimensions) + int32(qint32(data.size())) + int32(lowerBound) + data
            + int32(trailer);
}

inline QString suffix(qint32 number)
{
    return QStringLiteral(".%1").arg(number, 3, 10, QLatin1Char('0'));
}

//! Splits \a data into pieces of \a sizes next to \a basePath, numbered from \a first, and
//! writes the stencil naming them to \a stencilPath; false when a file could not be written.
inline bool splitWithStencil(const QString &stencilPath, const QString &basePath,
                             const QByteArray &data, const QList<int> &sizes, qint32 first = 1)
{
    qsizetype at = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        if (!writeFile(basePath + suffix(first + i), piece(data.mid(at, sizes.at(i)), 1, 0, 0x7fff0000 + i)))
            return false;
        at += sizes.at(i);
    }
    return writeFile(stencilPath, stencil(QFile::encodeName(basePath), qint16(sizes.size()), first));
}

inline bool hardLink(const QString &target, const QString &link)
{
    return ::link(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

//! Packs \a file into the cabinet \a cabinetPath with gcab; returns the cabinet, empty on failure.
inline QByteArray packCabinet(const QString &file, const QString &cabinetPath)
{
    return QProcess::execute(QStringLiteral("gcab"), {"-c", "-z", "-n", cabinetPath, file}) == 0
            ? readFile(cabinetPath) : QByteArray();
}

//! An EXTRACT that writes part of its target, puts its process id in \a pidFile and waits,
//! as a slow one does; false when it could not be written.
inline bool writeSlowExtract(const QString &program, const QString &pidFile)
{
    QFile::remove(program);
    QFile::remove(pidFile);
    return writeFile(program, "#!/bin/sh\nprintf partial > \"$2\"\necho $$ > " + QFile::encodeName(pidFile)
                                      + "\nexec sleep 600\n")
            && QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace PieceWriter
