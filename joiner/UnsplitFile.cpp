#include "UnsplitFile.h"

#include "BinaryFile.h"
#include "BlockCopy.h"
#include "PieceRecord.h"
#include "ReplacementFile.h"
#include "StencilHeader.h"
#include "SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QList>

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
    if (__builtin_sub_overflow(firstNumber, 1, &before)
        || __builtin_add_overflow(before, index, &number))
        throw SystemError(SystemError::Overflow);
    return number;
}

QString Stencil::lastComponent(const QString &baseName)
{
    const qsizetype slash = qMax(baseName.lastIndexOf(QLatin1Char('/')),
                                 baseName.lastIndexOf(QLatin1Char('\\')));
    return baseName.mid(slash + 1);
}

namespace {

QString findPiece(const StencilHeader &stencil, const QString &suffix, const QString &stencilPath)
{
    const QString stored = stencil.BaseName + QLatin1Char('.') + suffix;
    if (QFileInfo(stored).isFile())
        return stored;
    const QString name = Stencil::lastComponent(stencil.BaseName);
    if (!name.isEmpty()) {
        const QString beside =
                QFileInfo(stencilPath).absoluteDir().filePath(name + QLatin1Char('.') + suffix);
        if (QFileInfo(beside).isFile())
            return beside;
    }
    if (QFileInfo(stored).isDir())
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(stored));
    throw SystemError(SystemError::FileNotFound, QStringLiteral("File not found: %1").arg(stored));
}

StencilHeader readStencil(const QString &stencilPath)
{
    // A missing stencil reads as an empty one, without leaving a file behind.
    const QFileInfo info(stencilPath);
    if (!stencilPath.isEmpty() && !info.exists() && info.absoluteDir().exists())
        throw SystemError(SystemError::SubscriptOutOfRange);

    BinaryFile file;
    file.open(stencilPath, BinaryFile::MustExist | BinaryFile::AllowReadOnly);
    StencilHeader stencil = StencilHeader::read(file);
    file.close();
    return stencil;
}

QList<PieceRecord> checkPieces(const StencilHeader &stencil, const QString &stencilPath)
{
    const int count = stencil.PieceCount;
    if (count < 1)
        throw SystemError(SystemError::SubscriptOutOfRange);

    QList<PieceRecord> pieces;
    pieces.reserve(count);
    for (int i = 1; i <= count; ++i) {
        const qint32 number = Stencil::pieceNumber(stencil.FirstNumber, i);
        const QString path = findPiece(stencil, Stencil::pieceNumberText(number), stencilPath);
        BinaryFile file;
        try {
            file.open(path, BinaryFile::ReadOnly);
        } catch (const SystemError &e) {
            throw SystemError(e.number(), QStringLiteral("%1: %2").arg(e.description(), path));
        }
        pieces.append(PieceRecord::read(file, path));
    }
    return pieces;
}

void writeOutput(const QList<PieceRecord> &pieces, const QString &outputPath)
{
    ReplacementFile output(outputPath);
    output.open();
    for (const PieceRecord &piece : pieces) {
        if (piece.dataSize() == 0)
            continue;
        QFile source(piece.path);
        if (!source.open(QIODevice::ReadOnly)) {
            const int number = BinaryFile::openErrorNumber(piece.path);
            throw SystemError(number, QStringLiteral("%1: %2")
                                              .arg(SystemError::standardText(number), piece.path));
        }
        copyBlocks(source, PieceRecord::HeaderSize, output.file(), piece.dataSize());
    }
    output.commit();
}

} // namespace

bool UnsplitFile(const QString &stencilPath, const QString &outputPath)
{
    const StencilHeader stencil = readStencil(stencilPath);
    const QList<PieceRecord> pieces = checkPieces(stencil, stencilPath);
    writeOutput(pieces, outputPath);
    return true;
}
