#include "ReplacementFile.h"

#include "BinaryFile.h"
#include "BlockCopy.h"
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

    const bool folderWritable =
            ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) == 0;
    if (!m_replaces && !folderWritable)
        throw SystemError(SystemError::PermissionDenied);
    m_inPlace = m_replaces
            && (existing.st_nlink > 1 || existing.st_uid != ::geteuid() || !folderWritable);
    const int fd = createTemporary(folderWritable ? info.absolutePath() : QDir::tempPath());
    if (m_replaces && !m_inPlace) {
        ::fchmod(fd, existing.st_mode & 07777);
        struct stat created = {};
        if (::fstat(fd, &created) == 0 && created.st_gid != existing.st_gid
            && ::fchown(fd, uid_t(-1), existing.st_gid) != 0)
            m_inPlace = true;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        cancel();
        throw SystemError(SystemError::DeviceIOError);
    }
    if (m_inPlace) {
        // Opened now so that a file we cannot write fails before any work is done.
        m_targetHandle = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
        if (m_targetHandle < 0) {
            const int error = errno;
            cancel();
            throwErrno(error, m_target);
        }
    }
}

int ReplacementFile::createTemporary(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    // Data staged for a copy into the existing file stay private, even in a shared folder.
    const mode_t mode = m_inPlace ? 0600 : 0666;
    int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        QByteArray name = path + "/." + QFile::encodeName(QFileInfo(m_target).fileName()) + ".XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            m_hiddenName = QFile::decodeName(name);
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd, mode & ~mask);
        }
    }
    if (fd < 0)
        throwErrno(errno, m_target);
    return fd;
}

void ReplacementFile::commit(const std::function<void()> &busy)
{
    const int fd = m_file.handle();
    if (fd < 0)
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (m_direct) {
        m_file.close();
        return;
    }
    if (m_inPlace) {
        copyBack(busy);
        cancel();
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

void ReplacementFile::copyBack(const std::function<void()> &busy)
{
    const qint64 size = ::lseek(m_file.handle(), 0, SEEK_CUR);
    if (size < 0)
        throwErrno(errno, m_target);
    QFile target;
    if (!target.open(m_targetHandle, QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle))
        throw SystemError(SystemError::DeviceIOError);
    m_targetHandle = -1;
    copyBlocks(m_file, 0, target, size, [&busy](qint64) {
        if (busy)
            busy();
        return true;
    });
    if (::ftruncate(target.handle(), size) != 0 || ::fdatasync(target.handle()) != 0)
        throwErrno(errno, m_target);
}

void ReplacementFile::cancel()
{
    m_file.close();
    if (m_targetHandle >= 0) {
        ::close(m_targetHandle);
        m_targetHandle = -1;
    }
    if (!m_hiddenName.isEmpty()) {
        ::unlink(QFile::encodeName(m_hiddenName).constData());
        m_hiddenName.clear();
    }
}
