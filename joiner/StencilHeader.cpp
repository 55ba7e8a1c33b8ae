#include "StencilHeader.h"

#include "BinaryFile.h"
#include "CodePage.h"

#include <QtEndian>

#include <cstring>

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

QByteArray StencilHeader::toBytes() const
{
    const QByteArray name = BaseNameBytes.isNull() ? CodePage::fromUnicode(BaseName) : BaseNameBytes;
    QByteArray bytes(12 + name.size(), Qt::Uninitialized);
    char *at = bytes.data();
    qToLittleEndian(unnamed, at);
    qToLittleEndian(quint16(name.size()), at + 4);
    memcpy(at + 6, name.constData(), size_t(name.size()));
    qToLittleEndian(PieceCount, at + 6 + name.size());
    qToLittleEndian(FirstNumber, at + 8 + name.size());
    return bytes;
}
