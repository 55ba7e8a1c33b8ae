#include "BlockCopy.h"

#include "SystemError.h"

#include <QFileDevice>

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace {

constexpr qint64 BlockSize = 8 * 1024 * 1024;

[[noreturn]] void throwShortSource(const QString &source)
{
    throw SystemError(SystemError::InputPastEndOfFile, QStringLiteral("Input past end of file: %1").arg(source));
}

using Step = std::function<bool(qint64)>;

void step(const Step &copied, qint64 n)
{
    if (copied && !copied(n))
        throw SystemError(SystemError::UserInterrupt);
}

// Returns the bytes still to copy once the kernel gave up (unsupported across
// these files), 0 when everything went.
qint64 kernelCopy(int in, qint64 &offset, int out, qint64 count, const CopyNames &names,
                  const Step &copied)
{
    while (count > 0) {
        loff_t from = offset;
        const ssize_t n = ::copy_file_range(in, &from, out, nullptr,
                                            size_t(qMin(count, BlockSize)), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
                || errno == EBADF || errno == EPERM)
                return count;
            // What fails here is nearly always the writing.
            throw SystemError::fromErrno(errno, names.target);
        }
        if (n == 0)
            throwShortSource(names.source);
        offset += n;
        count -= n;
        step(copied, n);
    }
    return 0;
}

void writeAll(int out, const char *data, qint64 size, const QString &target)
{
    while (size > 0) {
        const ssize_t n = ::write(out, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw SystemError::fromErrno(errno, target);
        }
        data += n;
        size -= n;
    }
}

} // namespace

void writeBlock(QFileDevice &target, QByteArrayView bytes, const QString &targetName)
{
    const int out = target.handle();
    if (out < 0)
        throw SystemError(SystemError::BadFileNameOrNumber);
    writeAll(out, bytes.data(), bytes.size(), targetName);
}

void copyBlocks(QFileDevice &source, qint64 offset, QFileDevice &target, qint64 count,
                const Step &copied, const CopyNames &names)
{
    const int in = source.handle();
    const int out = target.handle();
    if (in < 0 || out < 0)
        throw SystemError(SystemError::BadFileNameOrNumber);

    count = kernelCopy(in, offset, out, count, names, copied);
    if (count == 0)
        return;

    const qint64 bufferSize = qMin(count, BlockSize);
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    while (count > 0) {
        const ssize_t n = ::pread(in, buffer.get(), size_t(qMin(count, bufferSize)), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw SystemError::fromErrno(errno, names.source);
        }
        if (n == 0)
            throwShortSource(names.source);
        writeAll(out, buffer.get(), n, names.target);
        offset += n;
        count -= n;
        step(copied, n);
    }
}
