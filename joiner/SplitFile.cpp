#include "SplitFile.h"

#include "BlockCopy.h"
#include "CodePage.h"
#include "NativePath.h"
#include "PieceRecord.h"
#include "ReplacementFile.h"
#include "StencilHeader.h"
#include "SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Stencil::readable;

std::optional<qint64> Split::parseSize(QStringView text)
{
    qsizetype digits = 0;
    for (; digits < text.size(); ++digits) {
        const QChar c = text.at(digits);
        if (c != u'.' && (c < u'0' || c > u'9'))
            break;
    }
    const QStringView number = text.left(digits);
    if (number.isEmpty() || number.count(u'.') > 1 || number == u".")
        return std::nullopt;
    const QString unit = text.mid(digits).toString().toUpper();
    double scale = 1;
    if (!unit.isEmpty()) {
        const qsizetype power = QStringView(u"KMGT").indexOf(unit.at(0)) + 1;
        const QStringView rest = QStringView(unit).mid(1);
        if (power == 0 || !(rest.isEmpty() || rest == u"IB" || rest == u"B"))
            return std::nullopt;
        scale = std::pow(rest == u"B" ? 1000.0 : 1024.0, double(power));
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok) * scale;
    if (!ok || !std::isfinite(value) || value >= 9.0e18)
        return std::nullopt;
    return qint64(std::floor(value));
}

QString Split::defaultStencil(const QString &filePath)
{
    return filePath + QStringLiteral(".kvs");
}

namespace {

QString byteSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

[[noreturn]] void refuse(const QString &why)
{
    throw SystemError(SystemError::InvalidProcedureCall,
                      SystemError::standardText(SystemError::InvalidProcedureCall) + QStringLiteral(": ") + why);
}

//! The pieces written so far; removed unless the split completes.
class WrittenPieces
{
public:
    ~WrittenPieces()
    {
        for (const QByteArray &path : std::as_const(m_paths))
            ::unlink(path.constData());
    }
    void add(const QString &path) { m_paths.append(QFile::encodeName(path)); }
    void keep() { m_paths.clear(); }

private:
    QByteArrayList m_paths;
};

void writeNew(const QString &path, const std::function<void(QFileDevice &, const QString &)> &write)
{
    ReplacementFile file(path);
    file.open();
    write(file.file(), file.shownName());
    file.commit();
}

} // namespace

QStringList SplitFile(const QString &filePath, qint64 pieceSize, const QString &stencilPath,
                      const JoinProgress &progress)
{
    if (pieceSize < Split::MinPieceSize || pieceSize > Split::MaxPieceSize)
        refuse(QStringLiteral("a piece file holds from %1 to %2 bytes (2 GiB - 1), not %3")
                       .arg(Split::MinPieceSize)
                       .arg(Split::MaxPieceSize)
                       .arg(pieceSize));

    const QString shownFile = readable(filePath);
    const QByteArray native = nativePath(filePath);
    if (native.isEmpty())
        throw SystemError(SystemError::BadFileNameOrNumber);
    // Without blocking: a FIFO would wait for a writer before it could be refused.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw SystemError::fromErrno(errno, shownFile);
    QFile source;
    if (!source.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw SystemError(SystemError::DeviceIOError);
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        throw SystemError::fromErrno(errno, shownFile);
    if (!S_ISREG(st.st_mode))
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1 is not a regular file").arg(shownFile));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const qint64 total = st.st_size;
    const qint64 share = pieceSize - Split::PieceOverhead;
    const qint64 count = qMax<qint64>(1, (total + share - 1) / share);
    if (count > Split::MaxPieces) {
        const qint64 least = (total + Split::MaxPieces - 1) / Split::MaxPieces + Split::PieceOverhead;
        refuse(QStringLiteral("%1 (%2) would take %3 pieces of %4 bytes; a stencil names at most %5, "
                              "so a piece must be at least %6 bytes")
                       .arg(shownFile, byteSize(total))
                       .arg(count)
                       .arg(pieceSize)
                       .arg(Split::MaxPieces)
                       .arg(least));
    }

    const QDir folder = QFileInfo(stencilPath).absoluteDir();
    StencilHeader stencil;
    stencil.BaseName = QDir::cleanPath(folder.absoluteFilePath(QFileInfo(filePath).fileName()));
    stencil.BaseNameBytes = CodePage::fromUnicode(stencil.BaseName);
    stencil.PieceCount = qint16(count);
    stencil.FirstNumber = 1;
    if (CodePage::toUnicode(stencil.BaseNameBytes) != stencil.BaseName)
        refuse(QStringLiteral("the code page %1 cannot write the name %2 (ANSI_CODEPAGE chooses another)")
                       .arg(CodePage::name(), readable(stencil.BaseName)));
    if (stencil.BaseNameBytes.size() > 0xffff)
        refuse(QStringLiteral("the name %1 is longer than a stencil holds").arg(readable(stencil.BaseName)));

    QStringList pieces;
    for (int i = 1; i <= count; ++i)
        pieces.append(stencil.BaseName + QLatin1Char('.') + Stencil::pieceNumberText(i));
    for (const QString &path : pieces + QStringList{stencilPath}) {
        struct stat existing = {};
        if (statPath(path, existing))
            throw SystemError(SystemError::FileAlreadyExists,
                              QStringLiteral("File already exists: %1").arg(readable(path)));
    }

    qint64 done = 0;
    const auto goOn = [&](qint64 n) {
        done += n;
        return !progress || progress(done, total, true);
    };
    if (!goOn(0))
        throw SystemError(SystemError::UserInterrupt);
    WrittenPieces written;
    for (int i = 0; i < count; ++i) {
        const qint64 size = qMin(share, total - done);
        writeNew(pieces.at(i), [&](QFileDevice &piece, const QString &name) {
            writeBlock(piece, PieceRecord::header(qint32(size)), name);
            copyBlocks(source, done, piece, size, goOn, {shownFile, name});
            writeBlock(piece, PieceRecord::trailer(), name);
        });
        written.add(pieces.at(i));
        if (size == 0 && !goOn(0))
            throw SystemError(SystemError::UserInterrupt);
    }
    writeNew(stencilPath, [&](QFileDevice &file, const QString &name) { writeBlock(file, stencil.toBytes(), name); });
    written.keep();
    return pieces;
}
