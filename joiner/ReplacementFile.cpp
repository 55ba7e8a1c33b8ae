#include "ReplacementFile.h"

#include "BinaryFile.h"
#include "SystemError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void throwErrno(int error, const QString &path)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        throw SystemError(SystemError::DiskFull);
    case EACCES:
    case EPERM:
    case EROFS:
        throw SystemError(SystemError::PermissionDenied);
    case ENOENT:
    case ENOTDIR:
        throw SystemError(SystemError::PathNotFound);
    }
    throw SystemError(BinaryFile::openErrorNumber(path));
}

QString resolveLinks(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink() && depth < 40; ++depth)
        info = QFileInfo(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

} // namespace

ReplacementFile::ReplacementFile(const QString &path)
    : m_target(resolveLinks(path))
{
}

ReplacementFile::~ReplacementFile()
{
    cancel();
}

void ReplacementFile::open()
{
    if (m_target.isEmpty())
        throw SystemError(SystemError::BadFileNameOrNumber);
    const QFileInfo info(m_target);
    if (info.isDir())
        throw SystemError(SystemError::PathFileAccessError);
    if (!info.absoluteDir().exists())
        throw SystemError(SystemError::PathNotFound);

    const QByteArray target = QFile::encodeName(m_target);
    struct stat existing = {};
    m_replaces = ::stat(target.constData(), &existing) == 0;
    if (m_replaces && ::access(target.constData(), W_OK) != 0)
        throw SystemError(SystemError::PathFileAccessError);

    if (m_replaces && !S_ISREG(existing.st_mode)) {
        // A device or a pipe takes the data as they come; renaming over it would replace it.
        const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            throwErrno(errno, m_target);
        m_direct = true;
        if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                         QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw SystemError(SystemError::DeviceIOError);
        }
        return;
    }

    const QByteArray folder = QFile::encodeName(info.absolutePath());
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        QByteArray name = folder + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            m_hiddenName = QFile::decodeName(name);
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd, 0666 & ~mask);
        }
    }
    if (fd < 0)
        throwErrno(errno, m_target);
    if (m_replaces)
        ::fchmod(fd, existing.st_mode & 07777);
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        cancel();
        throw SystemError(SystemError::DeviceIOError);
    }
}

void ReplacementFile::commit()
{
    const int fd = m_file.handle();
    if (fd < 0)
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (m_direct) {
        m_file.close();
        return;
    }
    if (m_replaces && ::fdatasync(fd) != 0 && errno != EINVAL)
        throwErrno(errno, m_target);

    const QByteArray target = QFile::encodeName(m_target);
    if (m_hiddenName.isEmpty()) {
        // Give the unnamed file a hidden name beside the target, then rename it over.
        const QByteArray fdPath = "/proc/self/fd/" + QByteArray::number(fd);
        for (int attempt = 0; attempt < 100 && m_hiddenName.isEmpty(); ++attempt) {
            const QFileInfo info(m_target);
            const QString name = info.absoluteDir().filePath(
                    QStringLiteral(".%1.%2%3").arg(info.fileName()).arg(::getpid()).arg(attempt));
            if (::linkat(AT_FDCWD, fdPath.constData(), AT_FDCWD, QFile::encodeName(name).constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                m_hiddenName = name;
            else if (errno != EEXIST)
                throwErrno(errno, m_target);
        }
        if (m_hiddenName.isEmpty())
            throw SystemError(SystemError::FileAlreadyExists);
    }
    m_file.close();
    if (::rename(QFile::encodeName(m_hiddenName).constData(), target.constData()) != 0)
        throwErrno(errno, m_target);
    m_hiddenName.clear();
}

void ReplacementFile::cancel()
{
    m_file.close();
    if (!m_hiddenName.isEmpty()) {
        ::unlink(QFile::encodeName(m_hiddenName).constData());
        m_hiddenName.clear();
    }
}
