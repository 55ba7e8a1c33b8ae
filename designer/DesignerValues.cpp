#include "DesignerValues.h"

#include "OleColor.h"
#include "Picture.h"
#include "SystemError.h"

#include <QColor>
#include <QPalette>

using namespace ScheduleControl;

namespace {

Picture pictureFromPath(const QString &path)
{
    if (path.isEmpty())
        return Picture();
    try {
        return Picture::load(path);
    } catch (const SystemError &) {
        return Picture();
    }
}

} // namespace

DesignerValues::Kind DesignerValues::kindOf(const QMetaProperty &property)
{
    const int type = property.metaType().id();
    if (type == QMetaType::UInt && QByteArray(property.name()).endsWith("Color"))
        return Kind::OleColor;
    if (type == qMetaTypeId<Picture>())
        return Kind::Picture;
    if (type == QMetaType::QVariant && property.isWritable())
        return Kind::Text;
    if (type == QMetaType::Short)
        return Kind::Short;
    return Kind::Plain;
}

QVariant DesignerValues::toDesigner(const QMetaProperty &property, const QVariant &value, const QPalette &palette)
{
    switch (kindOf(property)) {
    case Kind::OleColor:
        return OleColor::toColor(value.toUInt(), palette);
    case Kind::Picture:
        return value.value<Picture>().path();
    case Kind::Text:
        return value.toString();
    case Kind::Short:
        return value.toInt();
    case Kind::Plain:
        break;
    }
    return value;
}

void DesignerValues::registerConversions()
{
    const QMetaType color = QMetaType::fromType<QColor>();
    const QMetaType ole = QMetaType::fromType<quint32>();
    if (QMetaType::hasRegisteredConverterFunction(color, ole))
        return;
    // Both are Qt's own types, so only the untyped registration takes them.
    QMetaType::registerConverterFunction(
        [](const void *from, void *to) {
            *static_cast<quint32 *>(to) = OleColor::fromRgb(static_cast<const QColor *>(from)->rgb());
            return true;
        },
        color, ole);
    QMetaType::registerConverter<QString, Picture>(&pictureFromPath);
}
