#include "PieceRecord.h"

#include "BinaryFile.h"
#include "SystemError.h"

#include <QtEndian>

PieceRecord PieceRecord::read(BinaryFile &file, const QString &path)
{
    PieceRecord piece;
    piece.path = path;
    const qint64 length = file.length();
    if (length < HeaderSize)
        throw SystemError(SystemError::InputPastEndOfFile,
                          QStringLiteral("Input past end of file: %1 is %2 bytes long, "
                                         "shorter than a piece header")
                                  .arg(path)
                                  .arg(length));
    piece.dimensionCount = file.readInt16();
    piece.elementCount = file.readInt32();
    piece.lowerBound = file.readInt32();

    // A piece without data may carry any header; one that declares data must be a
    // one-dimensional array of a sensible size.
    if (piece.elementCount != 0 && piece.dimensionCount != 1)
        throw SystemError(SystemError::BadRecordLength,
                          QStringLiteral("Bad record length: %1 declares %2 dimensions, "
                                         "expected 1")
                                  .arg(path)
                                  .arg(piece.dimensionCount));
    if (piece.elementCount < 0)
        throw SystemError(SystemError::BadRecordLength,
                          QStringLiteral("Bad record length: %1 declares %2 bytes")
                                  .arg(path)
                                  .arg(piece.elementCount));
    if (length - HeaderSize < piece.dataSize())
        throw SystemError(SystemError::InputPastEndOfFile,
                          QStringLiteral("Input past end of file: %1 declares %2 bytes "
                                         "but holds %3")
                                  .arg(path)
                                  .arg(piece.elementCount)
                                  .arg(length - HeaderSize));
    return piece;
}

QByteArray PieceRecord::header(qint32 count)
{
    QByteArray bytes(HeaderSize, Qt::Uninitialized);
    qToLittleEndian(qint16(1), bytes.data());
    qToLittleEndian(count, bytes.data() + 2);
    qToLittleEndian(qint32(0), bytes.data() + 6);
    return bytes;
}
