#pragma once

#include <QString>

class BinaryFile;

/*!
    The stencil record at the start of a ".kvs" file: an unused 32-bit
    value, the pieces' base path as ANSI text, the piece count and the
    number of the first piece. Bytes after it are ignored; a short file
    reads as zeros.
*/
struct StencilHeader
{
    qint32 unnamed = 0;
    QString BaseName;
    //! BaseName as stored, for showing a name that does not decode.
    QByteArray BaseNameBytes;
    qint16 PieceCount = 0;
    qint32 FirstNumber = 0;

    //! Reads the record from the current position of \a file.
    static StencilHeader read(BinaryFile &file);
    //! The record as stored, BaseName in the code page; BaseNameBytes
    //! when set, else BaseName converted.
    QByteArray toBytes() const;
};
