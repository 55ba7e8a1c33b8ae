#include "ReplacementFile.h"

#include "BlockCopy.h"
#include "SystemError.h"
#include "UnsplitFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString resolveLinks(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink() && depth < 40; ++depth)
        info = QFileInfo(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

//! ".NAME.tessal-PID-": the hidden name of a temporary file without its random end.
QByteArray hiddenPrefix(const QString &target)
{
    // Room for the rest within the longest name a folder takes.
    const QByteArray name = QFile::encodeName(QFileInfo(target).fileName()).left(200);
    return '.' + name + ReplacementFile::HiddenMarker.latin1() + QByteArray::number(::getpid()) + '-';
}

QByteArray randomEnd()
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray end(6, Qt::Uninitialized);
    for (char &c : end)
        c = Letters[QRandomGenerator::global()->bounded(int(sizeof Letters) - 1)];
    return end;
}

//! The process that made the hidden temporary file \a name, or 0 when it is none of ours.
pid_t makerOf(const QByteArray &name)
{
    const QByteArray marker = ReplacementFile::HiddenMarker.latin1();
    const qsizetype at = name.lastIndexOf(marker);
    if (!name.startsWith('.') || at < 1)
        return 0;
    const QByteArray rest = name.mid(at + marker.size());
    const qsizetype dash = rest.indexOf('-');
    if (dash < 1 || rest.size() - dash - 1 != 6)
        return 0;
    for (const char c : rest.mid(dash + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return 0;
    }
    bool ok = false;
    const int pid = rest.left(dash).toInt(&ok);
    return ok && pid > 0 ? pid_t(pid) : 0;
}

/*!
    Removes the hidden temporary files in \a folder whose maker is gone: a
    join killed between naming its data and renaming them. A file still
    locked is in use (by a process in another PID namespace or on another
    machine), and only our own files are touched.
*/
void removeStale(const QByteArray &folder)
{
    // Once per folder and process: a split creates thousands of files in one.
    static QMutex mutex;
    static QSet<QByteArray> cleaned;
    const QMutexLocker locker(&mutex);
    if (cleaned.contains(folder))
        return;
    cleaned.insert(folder);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const pid_t maker = makerOf(name);
        if (!maker || ::kill(maker, 0) == 0 || errno != ESRCH)
            continue;
        const QByteArray path = folder + '/' + name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st = {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
    ::closedir(dir);
}

QString byteSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
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

QString ReplacementFile::shownName() const
{
    return Stencil::readable(m_target);
}

void ReplacementFile::fail(int error) const
{
    throw SystemError::fromErrno(error, shownName());
}

void ReplacementFile::open()
{
    if (m_target.isEmpty() || m_target.contains(QChar::Null))
        throw SystemError(SystemError::BadFileNameOrNumber);
    const QFileInfo info(m_target);
    if (info.isDir())
        fail(EISDIR);
    if (!info.absoluteDir().exists())
        fail(ENOTDIR);

    const QByteArray target = QFile::encodeName(m_target);
    struct stat existing = {};
    m_replaces = ::stat(target.constData(), &existing) == 0;
    if (m_replaces && ::access(target.constData(), W_OK) != 0)
        fail(errno);

    if (m_replaces && !S_ISREG(existing.st_mode)) {
        // A device or a pipe takes the data as they come; renaming over it would replace it.
        const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            fail(errno);
        m_direct = true;
        if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                         QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw SystemError(SystemError::DeviceIOError);
        }
        return;
    }

    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const bool folderWritable = ::access(folder.constData(), W_OK | X_OK) == 0;
    const int folderError = errno;
    if (!m_replaces && !folderWritable)
        fail(folderError);
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
            fail(error);
        }
    }
}

int ReplacementFile::createTemporary(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    // What a killed join left there may be what fills the disk.
    removeStale(path);
    // Data staged for a copy into the existing file stay private, even in a shared folder.
    const mode_t mode = m_inPlace ? 0600 : 0666;
    int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        QByteArray name = path + '/' + hiddenPrefix(m_target) + "XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            m_hiddenName = QFile::decodeName(name);
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd, mode & ~mask);
        }
    }
    if (fd < 0)
        fail(errno);
    // Held while the file lives: a file under another's lock is not stale.
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

void ReplacementFile::prepare()
{
    if (m_prepared || m_direct)
        return;
    const int fd = m_file.handle();
    if (fd < 0)
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (m_inPlace) {
        const qint64 size = ::lseek(fd, 0, SEEK_CUR);
        if (size < 0)
            fail(errno);
        reserveInTarget(size);
    } else if (m_replaces && ::fdatasync(fd) != 0 && errno != EINVAL) {
        fail(errno);
    }
    m_prepared = true;
}

void ReplacementFile::reserveInTarget(qint64 size)
{
    struct stat before = {};
    if (size <= 0 || ::fstat(m_targetHandle, &before) != 0)
        return;
    if (::fallocate(m_targetHandle, FALLOC_FL_KEEP_SIZE, 0, size) == 0)
        return;
    const int error = errno;
    if (error != EOPNOTSUPP && error != ENOSYS) {
        // Space taken past the end before the failure goes back; the contents stay.
        struct stat after = {};
        if (::fstat(m_targetHandle, &after) == 0 && after.st_blocks > before.st_blocks
            && ::ftruncate(m_targetHandle, before.st_size) != 0) {
            // Only space is lost then, never data.
        }
        fail(error);
    }
    // The file system cannot reserve space: count it instead.
    struct statvfs fs = {};
    if (::fstatvfs(m_targetHandle, &fs) != 0)
        return;
    const qint64 needed = size - qint64(before.st_blocks) * 512;
    const qint64 available = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    if (needed > available)
        throw SystemError(SystemError::DiskFull,
                          QStringLiteral("Disk full: %1 needs %2 more, %3 are free")
                                  .arg(Stencil::readable(m_target), byteSize(needed), byteSize(available)));
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
    prepare();
    if (m_inPlace) {
        copyBack(busy);
        cancel();
        return;
    }

    const QByteArray target = QFile::encodeName(m_target);
    if (m_hiddenName.isEmpty()) {
        // Give the unnamed file a hidden name beside the target, then rename it over.
        const QByteArray fdPath = "/proc/self/fd/" + QByteArray::number(fd);
        const QByteArray prefix = QFile::encodeName(QFileInfo(m_target).absolutePath()) + '/'
                + hiddenPrefix(m_target);
        for (int attempt = 0; attempt < 100 && m_hiddenName.isEmpty(); ++attempt) {
            const QByteArray name = prefix + randomEnd();
            if (::linkat(AT_FDCWD, fdPath.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
                m_hiddenName = QFile::decodeName(name);
            else if (errno != EEXIST)
                fail(errno);
        }
        if (m_hiddenName.isEmpty())
            throw SystemError(SystemError::FileAlreadyExists);
    }
    if (::rename(QFile::encodeName(m_hiddenName).constData(), target.constData()) != 0)
        fail(errno);
    m_hiddenName.clear();
    m_file.close();
}

void ReplacementFile::copyBack(const std::function<void()> &busy)
{
    const qint64 size = ::lseek(m_file.handle(), 0, SEEK_CUR);
    if (size < 0)
        fail(errno);
    QFile target;
    if (!target.open(m_targetHandle, QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle))
        throw SystemError(SystemError::DeviceIOError);
    m_targetHandle = -1;
    copyBlocks(
            m_file, 0, target, size,
            [&busy](qint64) {
                if (busy)
                    busy();
                return true;
            },
            {QString(), shownName()});
    if (::ftruncate(target.handle(), size) != 0 || ::fdatasync(target.handle()) != 0)
        fail(errno);
}

void ReplacementFile::cancel()
{
    if (m_targetHandle >= 0) {
        ::close(m_targetHandle);
        m_targetHandle = -1;
    }
    // Unlinked while still open, so the lock marks it in use to the end.
    if (!m_hiddenName.isEmpty()) {
        ::unlink(QFile::encodeName(m_hiddenName).constData());
        m_hiddenName.clear();
    }
    m_file.close();
}
