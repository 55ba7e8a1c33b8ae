#include "Picture.h"

#include "NativePath.h"
#include "SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Picture::Picture(const QPixmap &pixmap, const QString &path)
    : d(std::make_shared<const Data>(Data{pixmap, path}))
{
}

Picture Picture::load(const QString &path)
{
    // Opened without blocking and checked on the open handle: a FIFO would
    // wait for a writer and a device never ends.
    const QByteArray native = nativePath(path);
    const int fd = native.isEmpty() ? (errno = ENOENT, -1)
                                    : ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || path.isEmpty())
            throw SystemError(SystemError::FileNotFound, QStringLiteral("File not found: %1").arg(path));
        if (errno == EACCES || errno == EPERM)
            throw SystemError(SystemError::PermissionDenied, QStringLiteral("Permission denied: %1").arg(path));
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(path));
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1 is not a regular file").arg(path));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(path));
    }
    // The suffix is a hint; the contents decide.
    QImageReader reader(&file, QFileInfo(path).suffix().toLatin1());
    const QImage image = reader.read();
    if (image.isNull())
        throw SystemError(SystemError::InvalidPicture, QStringLiteral("Invalid picture"));
    return Picture(QPixmap::fromImage(image), QFileInfo(path).absoluteFilePath());
}

QPixmap Picture::pixmap() const
{
    return d ? d->pixmap : QPixmap();
}

QString Picture::path() const
{
    return d ? d->path : QString();
}
