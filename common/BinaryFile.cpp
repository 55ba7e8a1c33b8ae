#include "BinaryFile.h"

#include "CodePage.h"
#include "SystemError.h"

#include "NativePath.h"

#include <QtEndian>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MaxHandles = 511;
std::array<BinaryFile *, MaxHandles + 1> g_handles {};

int takeFreeHandle(BinaryFile *file)
{
    for (int h = 1; h <= MaxHandles; ++h) {
        if (!g_handles[h]) {
            g_handles[h] = file;
            return h;
        }
    }
    throw SystemError(SystemError::TooManyFiles);
}

} // namespace

BinaryFile::~BinaryFile()
{
    close();
}

void BinaryFile::open(const QString &path, OpenFlags flags)
{
    if (isOpen())
        throw SystemError(SystemError::FileAlreadyOpen);
    const QByteArray native = nativePath(path);
    if (native.isEmpty())
        throw SystemError(SystemError::BadFileNameOrNumber);
    // Opened here rather than by QFile, so that a failure keeps its system error.
    int fd = -1;
    int error = 0;
    if (!(flags & ReadOnly)) {
        const int create = flags & MustExist ? 0 : O_CREAT;
        fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | create, 0666);
        error = errno;
    }
    const bool refused = error == EACCES || error == EPERM || error == EROFS;
    if (fd < 0 && (flags & ReadOnly || (flags & AllowReadOnly && refused))) {
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        // A read-only fallback that fails still reports why writing was refused.
        if (fd >= 0 || !refused)
            error = errno;
    }
    if (fd < 0)
        throw SystemError::fromErrno(error, path);
    struct stat status = {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd);
        throw SystemError::fromErrno(EISDIR, path);
    }
    const int mode = ::fcntl(fd, F_GETFL) & O_ACCMODE;
    // Unbuffered: each write reaches the system at once, with its own error.
    if (!m_file.open(fd, (mode == O_RDWR ? QIODevice::ReadWrite : QIODevice::ReadOnly) | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw SystemError(SystemError::DeviceIOError);
    }
    try {
        m_handle = takeFreeHandle(this);
    } catch (...) {
        m_file.close();
        throw;
    }
}

void BinaryFile::close()
{
    if (!m_handle)
        return;
    m_file.close();
    g_handles[m_handle] = nullptr;
    m_handle = 0;
}

BinaryFile *BinaryFile::fromHandle(int handle)
{
    return handle >= 1 && handle <= MaxHandles ? g_handles[handle] : nullptr;
}

void BinaryFile::seek(qint64 position)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (position < 1)
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (!m_file.seek(position - 1))
        throw SystemError::fromErrno(errno);
}

QByteArray BinaryFile::readBytes(qint64 count)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (count < 0)
        throw SystemError(SystemError::InvalidProcedureCall);
    QByteArray bytes(count, '\0');
    qint64 done = 0;
    while (done < count) {
        const qint64 n = m_file.read(bytes.data() + done, count - done);
        if (n < 0)
            throw SystemError::fromErrno(errno);
        if (n == 0)
            break;
        done += n;
    }
    // Reading past the end still advances the position, as the record read does.
    if (done < count)
        m_file.seek(m_file.pos() + (count - done));
    return bytes;
}

qint16 BinaryFile::readInt16()
{
    const QByteArray b = readBytes(2);
    return qFromLittleEndian<qint16>(b.constData());
}

qint32 BinaryFile::readInt32()
{
    const QByteArray b = readBytes(4);
    return qFromLittleEndian<qint32>(b.constData());
}

QString BinaryFile::readAnsiText()
{
    const quint16 length = static_cast<quint16>(readInt16());
    return CodePage::toUnicode(readBytes(length));
}

void BinaryFile::writeBytes(QByteArrayView bytes)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (!m_file.isWritable())
        throw SystemError(SystemError::PermissionDenied);
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = m_file.write(bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw SystemError::fromErrno(m_file.error() == QFileDevice::ResourceError ? ENOSPC : errno);
        done += n;
    }
}

void BinaryFile::resize(qint64 size)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (::ftruncate(m_file.handle(), size) != 0)
        throw SystemError::fromErrno(errno);
}

void BinaryFile::writeInt16(qint16 value)
{
    char b[2];
    qToLittleEndian(value, b);
    writeBytes(QByteArrayView(b, 2));
}

void BinaryFile::writeInt32(qint32 value)
{
    char b[4];
    qToLittleEndian(value, b);
    writeBytes(QByteArrayView(b, 4));
}

void BinaryFile::writeAnsiText(QStringView text)
{
    const QByteArray bytes = CodePage::fromUnicode(text);
    if (bytes.size() > 0xFFFF)
        throw SystemError(SystemError::Overflow);
    writeInt16(static_cast<qint16>(static_cast<quint16>(bytes.size())));
    writeBytes(bytes);
}
