#include "UnsplitFile.h"

#include "BinaryFile.h"
#include "BlockCopy.h"
#include "CodePage.h"
#include "NativePath.h"
#include "PieceRecord.h"
#include "ReplacementFile.h"
#include "StencilHeader.h"
#include "SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStringDecoder>
#include <QtNumeric>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString Stencil::pieceNumberText(qint32 number)
{
    const qint64 magnitude = qAbs(qint64(number));
    const QString digits = QStringLiteral("%1").arg(magnitude, 3, 10, QLatin1Char('0'));
    return number < 0 ? QLatin1Char('-') + digits : digits;
}

qint32 Stencil::pieceNumber(qint32 firstNumber, int index)
{
    qint32 before = 0;
    qint32 number = 0;
    if (qSubOverflow(firstNumber, qint32(1), &before) || qAddOverflow(before, qint32(index), &number))
        throw SystemError(SystemError::Overflow);
    return number;
}

QString Stencil::lastComponent(const QString &baseName)
{
    const qsizetype slash = qMax(baseName.lastIndexOf(QLatin1Char('/')),
                                 baseName.lastIndexOf(QLatin1Char('\\')));
    return baseName.mid(slash + 1);
}

QString Stencil::decodeForDisplay(QByteArrayView bytes)
{
    const QByteArray codec = CodePage::name().toLatin1();
    QStringDecoder decoder(codec.constData(), QStringDecoder::Flag::Stateless);
    const QString whole = decoder.decode(bytes);
    if (!decoder.hasError() && !whole.contains(QChar::ReplacementCharacter))
        return whole;
    // Decode sequence by sequence to learn which bytes do not decode.
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype length = 1;
        for (; length <= 4 && at + length <= bytes.size(); ++length) {
            decoder.resetState();
            const QString part = decoder.decode(bytes.sliced(at, length));
            if (!decoder.hasError() && !part.isEmpty() && !part.contains(QChar::ReplacementCharacter)) {
                text += part;
                break;
            }
        }
        if (length > 4 || at + length > bytes.size()) {
            text += QChar(0xdc00 + quint8(bytes.at(at)));
            length = 1;
        }
        at += length;
    }
    return text;
}

namespace {

void appendEscape(QString &text, QLatin1StringView prefix, int value, int digits)
{
    text += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += QLatin1Char("0123456789abcdef"[(value >> shift) & 0xf]);
}

} // namespace

QString Stencil::readable(QStringView name)
{
    QString text;
    text.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool pairedLow = QChar::isLowSurrogate(c) && i > 0
                && QChar::isHighSurrogate(name.at(i - 1).unicode());
        const bool pairedHigh = QChar::isHighSurrogate(c) && i + 1 < name.size()
                && QChar::isLowSurrogate(name.at(i + 1).unicode());
        if (c < 0x20 || (c >= 0x7f && c < 0xa0))
            appendEscape(text, QLatin1StringView("\\x"), c, 2);
        else if (c >= 0xdc00 && c < 0xdd00 && !pairedLow)
            appendEscape(text, QLatin1StringView("\\x"), c - 0xdc00, 2);
        else if ((QChar::isSurrogate(c) && !pairedLow && !pairedHigh)
                 || QChar::category(c) == QChar::Other_Format)
            appendEscape(text, QLatin1StringView("\\u"), c, 4);
        else
            text += QChar(c);
    }
    return text;
}

namespace {

using Stencil::readable;

struct FileId
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId &) const = default;
};

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    return QStringLiteral("not a regular file");
}

//! Checks that \a path is a regular file without opening it, so that a pipe cannot block.
FileId regularFile(const QString &path, const QString &shown)
{
    struct stat st = {};
    if (!statPath(path, st))
        throw SystemError(SystemError::FileNotFound, QStringLiteral("File not found: %1").arg(shown));
    if (!S_ISREG(st.st_mode))
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1 is %2, not a regular file")
                                  .arg(shown, kindOf(st.st_mode)));
    return {st.st_dev, st.st_ino};
}

bool exists(const QString &path)
{
    struct stat st = {};
    return statPath(path, st);
}

//! The pieces as found in one folder; shown names keep undecodable bytes visible.
struct PieceSet
{
    QString shownFolder;
    QStringList paths;
    QStringList shown;
    qsizetype firstMissing = -1;
};

struct Join
{
    StencilHeader stencil;
    FileId stencilId;
    PieceSet pieces;
    QList<FileId> pieceIds;
    QList<PieceRecord> records;
};

//! Opens \a path for reading; a failure names the file as \a shown.
void openForReading(BinaryFile &file, const QString &path, const QString &shown)
{
    try {
        file.open(path, BinaryFile::ReadOnly);
    } catch (const SystemError &e) {
        if (shown.isEmpty())
            throw SystemError(e.number());
        throw SystemError(e.number(), QStringLiteral("%1: %2").arg(SystemError::standardText(e.number()), shown));
    }
}

void readStencil(const QString &stencilPath, Join &join)
{
    // A missing stencil reads as an empty one, without leaving a file behind.
    const QFileInfo info(stencilPath);
    if (!stencilPath.isEmpty() && !info.exists() && info.absoluteDir().exists())
        throw SystemError(SystemError::SubscriptOutOfRange);
    struct stat st = {};
    if (!stencilPath.isEmpty() && statPath(stencilPath, st)
        && !S_ISDIR(st.st_mode))
        join.stencilId = regularFile(stencilPath, readable(stencilPath));

    BinaryFile file;
    openForReading(file, stencilPath, readable(stencilPath));
    join.stencil = StencilHeader::read(file);
    file.close();
}

// Stops at the first missing piece unless \a all: a stencil may name thousands.
PieceSet lookFor(const StencilHeader &stencil, const QString &base, const QString &shownBase, bool all = false)
{
    PieceSet set;
    for (int i = 1; i <= stencil.PieceCount; ++i) {
        const QString suffix = QLatin1Char('.')
                + Stencil::pieceNumberText(Stencil::pieceNumber(stencil.FirstNumber, i));
        if (i == 1) {
            // By name alone: Qt warns on a NUL and answers "." instead of the folder.
            const QString first = QDir::cleanPath(QDir::current().absoluteFilePath(shownBase + suffix));
            set.shownFolder = readable(first.left(qMax(first.lastIndexOf(QLatin1Char('/')), 1)));
        }
        set.paths.append(base + suffix);
        set.shown.append(readable(shownBase + suffix));
        if (set.firstMissing < 0 && !exists(set.paths.last())) {
            set.firstMissing = set.paths.size() - 1;
            if (!all)
                break;
        }
    }
    return set;
}

/*!
    Chooses the folder of the pieces. When no folder holds them all, the
    pieces are those of the set that came furthest, all of them named when
    \a all, and the error a join raises is returned.
*/
std::optional<SystemError> choosePieces(const QString &stencilPath, Join &join, bool all = false)
{
    const StencilHeader &stencil = join.stencil;
    if (stencil.PieceCount < 1)
        throw SystemError(SystemError::SubscriptOutOfRange);
    // Numbers past the 32-bit range fail before any lookup.
    Stencil::pieceNumber(stencil.FirstNumber, stencil.PieceCount);

    const QString shownBase = Stencil::decodeForDisplay(stencil.BaseNameBytes);
    const PieceSet stored = lookFor(stencil, stencil.BaseName, shownBase);
    if (stored.firstMissing < 0) {
        join.pieces = stored;
        return std::nullopt;
    }
    const QString name = Stencil::lastComponent(stencil.BaseName);
    QString searched = stored.shownFolder;
    // The missing piece named is the first of the set that came furthest.
    QString missing = stored.shown.at(stored.firstMissing);
    join.pieces = all ? lookFor(stencil, stencil.BaseName, shownBase, true) : stored;
    if (!name.isEmpty()) {
        const QDir folder = QFileInfo(stencilPath).absoluteDir();
        const QString base = folder.filePath(name);
        const QString shown = folder.filePath(Stencil::lastComponent(shownBase));
        const PieceSet beside = lookFor(stencil, base, shown);
        if (beside.firstMissing < 0) {
            join.pieces = beside;
            return std::nullopt;
        }
        if (beside.shownFolder != stored.shownFolder)
            searched += QStringLiteral(" and in ") + beside.shownFolder;
        if (beside.firstMissing > stored.firstMissing) {
            missing = beside.shown.at(beside.firstMissing);
            join.pieces = all ? lookFor(stencil, base, shown, true) : beside;
        }
    }
    return SystemError(SystemError::FileNotFound,
                       QStringLiteral("File not found: %1 (no complete set of pieces in %2)")
                               .arg(missing, searched));
}

//! Checks one piece: a regular file with a sound header and the data it declares.
PieceRecord checkPiece(const QString &path, const QString &shown, FileId *id = nullptr)
{
    const FileId found = regularFile(path, shown);
    if (id)
        *id = found;
    BinaryFile file;
    openForReading(file, path, shown);
    PieceRecord record = PieceRecord::read(file, shown);
    record.path = path;
    return record;
}

void checkPieces(Join &join)
{
    for (qsizetype i = 0; i < join.pieces.paths.size(); ++i) {
        FileId id;
        join.records.append(checkPiece(join.pieces.paths.at(i), join.pieces.shown.at(i), &id));
        join.pieceIds.append(id);
    }
}

void checkOutput(const QString &outputPath, const Join &join)
{
    struct stat st = {};
    if (outputPath.isEmpty() || !statPath(outputPath, st))
        return;
    const FileId output{st.st_dev, st.st_ino};
    QString input;
    if (output == join.stencilId)
        input = QStringLiteral("the stencil");
    for (qsizetype i = 0; input.isEmpty() && i < join.pieceIds.size(); ++i) {
        if (output == join.pieceIds.at(i))
            input = QStringLiteral("the piece %1").arg(join.pieces.shown.at(i));
    }
    if (!input.isEmpty())
        throw SystemError(SystemError::FileAlreadyOpen,
                          QStringLiteral("File already open: the output %1 is %2 of this join")
                                  .arg(readable(outputPath), input));
}

void writeOutput(const Join &join, const QString &outputPath, const JoinProgress &progress)
{
    qint64 total = 0;
    for (const PieceRecord &piece : join.records)
        total += piece.dataSize();
    qint64 joined = 0;
    const auto goOn = [&](qint64 n) {
        joined += n;
        return !progress || progress(joined, total, true);
    };
    if (!goOn(0))
        throw SystemError(SystemError::UserInterrupt);

    ReplacementFile output(outputPath);
    output.open();
    for (qsizetype i = 0; i < join.records.size(); ++i) {
        const PieceRecord &piece = join.records.at(i);
        if (piece.dataSize() == 0)
            continue;
        const QByteArray native = nativePath(piece.path);
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        QFile source;
        if (fd < 0 || !source.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            throw SystemError::fromErrno(error, join.pieces.shown.at(i));
        }
        copyBlocks(source, PieceRecord::HeaderSize, output.file(), piece.dataSize(),
                   progress ? std::function<bool(qint64)>(goOn) : std::function<bool(qint64)>(),
                   {join.pieces.shown.at(i), output.shownName()});
    }
    // The last moment a stop leaves the output as it was: the data are on disk.
    output.prepare();
    if (!goOn(0))
        throw SystemError(SystemError::UserInterrupt);
    output.commit([&] {
        if (progress)
            progress(total, total, false);
    });
}

} // namespace

bool UnsplitFile(const QString &stencilPath, const QString &outputPath, const JoinProgress &progress)
{
    Join join;
    readStencil(stencilPath, join);
    if (const std::optional<SystemError> missing = choosePieces(stencilPath, join))
        throw *missing;
    checkPieces(join);
    checkOutput(outputPath, join);
    writeOutput(join, outputPath, progress);
    return true;
}

Stencil::Inspection Stencil::inspect(const QString &stencilPath)
{
    Join join;
    readStencil(stencilPath, join);
    Inspection result;
    result.failure = choosePieces(stencilPath, join, true);
    result.folder = join.pieces.shownFolder;
    for (qsizetype i = 0; i < join.pieces.paths.size(); ++i) {
        PieceCheck piece;
        piece.shown = join.pieces.shown.at(i);
        try {
            if (!exists(join.pieces.paths.at(i)))
                throw SystemError(SystemError::FileNotFound, QStringLiteral("File not found: %1").arg(piece.shown));
            piece.dataSize = checkPiece(join.pieces.paths.at(i), piece.shown).dataSize();
        } catch (const SystemError &error) {
            piece.error = error.number();
            piece.description = error.description();
            if (!result.failure)
                result.failure = error;
        }
        result.pieces.append(piece);
    }
    return result;
}
