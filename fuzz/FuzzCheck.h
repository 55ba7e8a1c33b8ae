#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// A property a target checks; a breach aborts so the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__,         \
                         #condition);                                                     \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)

namespace Fuzz {

//! Every file in the current folder with its contents, to compare before and after.
inline QMap<QString, QByteArray> snapshot()
{
    QMap<QString, QByteArray> files;
    const QDir dir(QDir::currentPath());
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)) {
        QFile file(name);
        FUZZ_CHECK(file.open(QIODevice::ReadOnly));
        files.insert(name, file.readAll());
    }
    return files;
}


//! \a data cut at every \a separator (the separators dropped).
inline QList<QByteArray> split(QByteArrayView data, QByteArrayView separator)
{
    QList<QByteArray> parts;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = data.indexOf(separator, from);
        if (at < 0) {
            parts.append(data.sliced(from).toByteArray());
            return parts;
        }
        parts.append(data.sliced(from, at - from).toByteArray());
        from = at + separator.size();
    }
}

//! Cuts \a data into runs of 1 to 16 bytes whose lengths follow from \a seed.
inline QList<QByteArrayView> pieces(QByteArrayView data, quint8 seed)
{
    QList<QByteArrayView> result;
    quint32 state = seed * 2654435761u + 1;
    qsizetype at = 0;
    while (at < data.size()) {
        state = state * 1103515245u + 12345u;
        const qsizetype length = qMin<qsizetype>(1 + (state >> 16) % 16, data.size() - at);
        result.append(data.sliced(at, length));
        at += length;
    }
    return result;
}

//! \a data as runs of one byte each.
inline QList<QByteArrayView> bytes(QByteArrayView data)
{
    QList<QByteArrayView> result;
    for (qsizetype i = 0; i < data.size(); ++i)
        result.append(data.sliced(i, 1));
    return result;
}

//! \a feed over \a data whole, cut as \a seed says and byte by byte: the results must agree.
template<typename Feed>
auto sameWhenSplit(QByteArrayView data, quint8 seed, Feed feed)
{
    const auto whole = feed(QList<QByteArrayView>{data});
    FUZZ_CHECK(feed(pieces(data, seed)) == whole);
    FUZZ_CHECK(feed(bytes(data)) == whole);
    return whole;
}

/*!
    Makes a folder NAME_PID in /dev/shm (or the temporary folder) the
    working folder. libFuzzer ends without exit handlers, so the folders of
    earlier runs whose process is gone are removed here.
*/
inline void enterWorkFolder(const QString &name)
{
    QDir base(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath());
    for (const QString &entry : base.entryList({name + QStringLiteral("_*")}, QDir::Dirs)) {
        const QString pid = entry.mid(name.size() + 1);
        if (!QFileInfo::exists(QStringLiteral("/proc/") + pid))
            QDir(base.filePath(entry)).removeRecursively();
    }
    const QString folder = base.filePath(name + QStringLiteral("_%1").arg(getpid()));
    FUZZ_CHECK(base.mkpath(folder));
    FUZZ_CHECK(QDir::setCurrent(folder));
    std::atexit([] { QDir(QDir::currentPath()).removeRecursively(); });
}

} // namespace Fuzz
