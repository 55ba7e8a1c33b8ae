#include "StencilHeader.h"

#include "BinaryFile.h"

StencilHeader StencilHeader::read(BinaryFile &file)
{
    StencilHeader header;
    header.unnamed = file.readInt32();
    header.BaseName = file.readAnsiText();
    header.PieceCount = file.readInt16();
    header.FirstNumber = file.readInt32();
    return header;
}
