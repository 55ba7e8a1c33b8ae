#pragma once

#include <QString>

class BinaryFile;

/*!
    The header of one piece file: a one-dimensional byte array's dimension
    count, element count and lower bound, followed in the file by the
    element count's data bytes and an unused 32-bit value.

    Only the header is held; the data stay in the file until they are
    copied into the output.
*/
struct PieceRecord
{
    static constexpr qint64 HeaderSize = 10;
    //! The unused 32-bit value after the data.
    static constexpr qint64 TrailerSize = 4;

    QString path;
    qint16 dimensionCount = 0;
    qint32 elementCount = 0;
    qint32 lowerBound = 0;

    //! Reads the header of the open piece \a file at \a path and checks
    //! that the file holds the data it declares; throws SystemError
    //! naming the piece otherwise.
    static PieceRecord read(BinaryFile &file, const QString &path);

    //! The header of a piece that carries \a count data bytes, as the
    //! splitter writes it: one dimension, lower bound 0.
    static QByteArray header(qint32 count);
    //! The value after the data, as the splitter writes it: 0.
    static QByteArray trailer() { return QByteArray(TrailerSize, '\0'); }

    //! The number of data bytes the piece contributes.
    qint64 dataSize() const { return dimensionCount == 1 ? elementCount : 0; }
};
