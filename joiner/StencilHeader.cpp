#include "StencilHeader.h"

#include "BinaryFile.h"
#include "CodePage.h"

StencilHeader StencilHeader::read(BinaryFile &file)
{
    StencilHeader header;
    header.unnamed = file.readInt32();
    header.BaseNameBytes = file.readBytes(static_cast<quint16>(file.readInt16()));
    header.BaseName = CodePage::toUnicode(header.BaseNameBytes);
    header.PieceCount = file.readInt16();
    header.FirstNumber = file.readInt32();
    return header;
}
