#include "PropertyBag.h"

#include "Picture.h"
#include "SystemError.h"

#include <QFile>
#include <QFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>

QVariant PropertyBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    m_reads.append({name, defaultValue});
    const auto it = m_values.constFind(name);
    return it == m_values.constEnd() ? defaultValue : *it;
}

void PropertyBag::WriteProperty(const QString &name, const QVariant &value,
                                const QVariant &defaultValue)
{
    m_writes.append({name, value, defaultValue});
    if (equalsDefault(value, defaultValue))
        m_values.remove(name);
    else
        m_values.insert(name, value);
}

static bool isEmptyValue(const QVariant &value)
{
    if (!value.isValid())
        return true;
    return value.typeId() == qMetaTypeId<Picture>() && value.value<Picture>().isNull();
}

bool PropertyBag::equalsDefault(const QVariant &value, const QVariant &defaultValue)
{
    if (isEmptyValue(defaultValue))
        return isEmptyValue(value);
    if (isEmptyValue(value))
        return false;
    // Qt compares numbers across their types, but never a text with a number.
    const bool valueIsText = value.typeId() == QMetaType::QString;
    const bool defaultIsText = defaultValue.typeId() == QMetaType::QString;
    if (valueIsText != defaultIsText)
        return false;
    return value == defaultValue;
}

QJsonObject PropertyBag::fontToJson(const QFont &font)
{
    QJsonObject object{{QStringLiteral("name"), font.family()},
                       {QStringLiteral("bold"), font.bold()},
                       {QStringLiteral("italic"), font.italic()},
                       {QStringLiteral("underline"), font.underline()},
                       {QStringLiteral("strikeout"), font.strikeOut()},
                       {QStringLiteral("weight"), font.weight()}};
    if (font.pointSizeF() > 0)
        object.insert(QStringLiteral("size"), font.pointSizeF());
    else
        object.insert(QStringLiteral("pixelSize"), font.pixelSize());
    return object;
}

QFont PropertyBag::fontFromJson(const QJsonObject &object)
{
    QFont font(object.value(QStringLiteral("name")).toString());
    if (object.value(QStringLiteral("size")).toDouble() > 0)
        font.setPointSizeF(object.value(QStringLiteral("size")).toDouble());
    else if (object.value(QStringLiteral("pixelSize")).toInt() > 0)
        font.setPixelSize(object.value(QStringLiteral("pixelSize")).toInt());
    if (object.contains(QStringLiteral("weight")))
        font.setWeight(QFont::Weight(object.value(QStringLiteral("weight")).toInt()));
    else
        font.setBold(object.value(QStringLiteral("bold")).toBool());
    font.setItalic(object.value(QStringLiteral("italic")).toBool());
    font.setUnderline(object.value(QStringLiteral("underline")).toBool());
    font.setStrikeOut(object.value(QStringLiteral("strikeout")).toBool());
    return font;
}

bool PropertyBag::isInteger(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool PropertyBag::isNumber(const QVariant &value)
{
    return isInteger(value) || value.typeId() == QMetaType::Float || value.typeId() == QMetaType::Double;
}

QJsonValue PropertyBag::toJsonValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    if (isInteger(value))
        return value.toLongLong();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QFont: {
        return QJsonObject{{QStringLiteral("font"), fontToJson(value.value<QFont>())}};
    }
    default:
        break;
    }
    if (value.canConvert<Picture>() && value.typeId() == qMetaTypeId<Picture>()) {
        const Picture picture = value.value<Picture>();
        return picture.isNull() ? QJsonValue(QJsonValue::Null)
                                : QJsonObject{{QStringLiteral("picture"), picture.path()}};
    }
    return value.toJsonValue();
}

QVariant PropertyBag::fromJsonValue(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QVariant();
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::trunc(d) == d && d >= -2147483648.0 && d <= 2147483647.0)
            return static_cast<qint32>(d);
        if (std::trunc(d) == d && std::fabs(d) < 9007199254740992.0)
            return static_cast<qint64>(d);
        return d;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.contains(QStringLiteral("picture"))) {
            const QString path = object.value(QStringLiteral("picture")).toString();
            return QVariant::fromValue(path.isEmpty() ? Picture() : Picture::load(path));
        }
        if (object.contains(QStringLiteral("font")))
            return fontFromJson(object.value(QStringLiteral("font")).toObject());
        return object.toVariantMap();
    }
    case QJsonValue::Array:
        return value.toArray().toVariantList();
    }
    return QVariant();
}

QJsonObject PropertyBag::toJson() const
{
    QJsonObject object;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        object.insert(it.key(), toJsonValue(it.value()));
    return object;
}

PropertyBag PropertyBag::fromJson(const QJsonObject &object)
{
    PropertyBag bag;
    for (auto it = object.begin(); it != object.end(); ++it)
        bag.m_values.insert(it.key(), fromJsonValue(it.value()));
    return bag;
}

bool PropertyBag::save(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(toJson()).toJson());
    return file.commit();
}

PropertyBag PropertyBag::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SystemError(SystemError::FileNotFound, QStringLiteral("File not found: %1").arg(path));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        throw SystemError(SystemError::TypeMismatch,
                          QStringLiteral("Not a property file: %1 (%2 at byte %3)")
                              .arg(path, error.errorString())
                              .arg(error.offset));
    if (!doc.isObject())
        throw SystemError(SystemError::TypeMismatch,
                          QStringLiteral("Not a property file: %1").arg(path));
    return fromJson(doc.object());
}
