#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <sys/stat.h>

//! \a path in the file system's encoding, or an empty array when a NUL inside
//! would make the system see a shorter name (names read from files may hold one).
inline QByteArray nativePath(const QString &path)
{
    return path.contains(QChar::Null) ? QByteArray() : QFile::encodeName(path);
}

//! stat() on \a path; a name the system cannot take fails with ENOENT.
inline bool statPath(const QString &path, struct stat &status)
{
    const QByteArray native = nativePath(path);
    if (native.isEmpty()) {
        errno = ENOENT;
        return false;
    }
    return ::stat(native.constData(), &status) == 0;
}
