#include "HostValues.h"

#include "Int32.h"
#include "Picture.h"
#include "PropertyBag.h"
#include "SystemError.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <limits>

QJsonValue HostValues::toJson(const QVariant &value)
{
    if (!value.isValid())
        return QJsonValue::Null;
    const int id = value.typeId();
    if (id == QMetaType::Nullptr)
        return QJsonValue::Null;
    if (id == QMetaType::QVariant)
        return toJson(value.value<QVariant>());
    if (id == QMetaType::Bool)
        return value.toBool();
    if (id == QMetaType::ULongLong)
        return double(value.toULongLong());
    if (PropertyBag::isInteger(value))
        return double(value.toLongLong());
    if (id == QMetaType::Float || id == QMetaType::Double) {
        const double d = value.toDouble();
        return std::isfinite(d) ? QJsonValue(d) : QJsonValue(QString::number(d));
    }
    if (id == QMetaType::QString)
        return value.toString();
    if (id == QMetaType::QChar)
        return QString(value.toChar());
    if (id == QMetaType::QByteArray) {
        QJsonArray bytes;
        for (const char c : value.toByteArray())
            bytes.append(int(uchar(c)));
        return bytes;
    }
    if (id == QMetaType::QFont)
        return PropertyBag::fontToJson(value.value<QFont>());
    if (id == qMetaTypeId<Picture>()) {
        const Picture picture = value.value<Picture>();
        return picture.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(picture.path());
    }
    if (id == QMetaType::QColor)
        return value.value<QColor>().name();
    if (id == QMetaType::QDateTime)
        return value.toDateTime().toString(Qt::ISODateWithMs);
    if (id == QMetaType::QStringList || id == QMetaType::QVariantList) {
        QJsonArray array;
        for (const QVariant &item : value.toList())
            array.append(toJson(item));
        return array;
    }
    if (id == QMetaType::QVariantMap) {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    if (value.canConvert<QString>())
        return value.toString();
    return value.toJsonValue();
}

static double numberOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return 0;
    case QJsonValue::Bool:
        return value.toBool() ? -1 : 0;
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String: {
        bool ok = false;
        const double d = value.toString().trimmed().toDouble(&ok);
        if (ok)
            return d;
        break;
    }
    default:
        break;
    }
    throw SystemError(SystemError::TypeMismatch);
}

template<typename Int>
static Int integerOf(const QJsonValue &value)
{
    const double rounded = std::nearbyint(numberOf(value));
    if (!(rounded >= double(std::numeric_limits<Int>::min())
          && rounded <= double(std::numeric_limits<Int>::max())))
        throw SystemError(SystemError::Overflow);
    if constexpr (sizeof(Int) <= 4 && std::numeric_limits<Int>::is_signed)
        return Int(toInt32(numberOf(value)));
    else
        return Int(rounded);
}

static QString textOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QJsonValue::String:
        return value.toString();
    default:
        throw SystemError(SystemError::TypeMismatch);
    }
}

static Picture pictureOf(const QJsonValue &value)
{
    if (value.isNull() || (value.isString() && value.toString().isEmpty()))
        return Picture();
    if (value.isString())
        return Picture::load(value.toString());
    if (value.isObject() && value.toObject().contains(QStringLiteral("picture")))
        return pictureOf(value.toObject().value(QStringLiteral("picture")));
    throw SystemError(SystemError::TypeMismatch);
}

static QFont fontOf(const QJsonValue &value)
{
    if (!value.isObject())
        throw SystemError(SystemError::TypeMismatch);
    QJsonObject object = value.toObject();
    if (object.contains(QStringLiteral("font")))
        object = object.value(QStringLiteral("font")).toObject();
    if (!object.contains(QStringLiteral("name")))
        throw SystemError(SystemError::TypeMismatch);
    return PropertyBag::fontFromJson(object);
}

QVariant HostValues::fromJson(const QJsonValue &value)
{
    if (value.isArray()) {
        QVariantList list;
        for (const QJsonValue &item : value.toArray())
            list.append(fromJson(item));
        return list;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        if (object.contains(QStringLiteral("picture")))
            return QVariant::fromValue(pictureOf(value));
        if (object.contains(QStringLiteral("font")))
            return fontOf(value);
        QVariantMap map;
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), fromJson(it.value()));
        return map;
    }
    // Scalars as the bag takes them, but a whole number beyond 32 bits is a Double, as in the runtime.
    const QVariant scalar = PropertyBag::fromJsonValue(value);
    return scalar.typeId() == QMetaType::LongLong ? QVariant(value.toDouble()) : scalar;
}

QVariant HostValues::fromJson(const QJsonValue &value, QMetaType type)
{
    const int id = type.id();
    switch (id) {
    case QMetaType::QVariant:
    case QMetaType::UnknownType:
        return fromJson(value);
    case QMetaType::Bool:
        if (value.isBool())
            return value.toBool();
        if (value.isString()) {
            const QString text = value.toString().trimmed();
            if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return true;
            if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return false;
        }
        return numberOf(value) != 0;
    case QMetaType::Char:
    case QMetaType::SChar:
        return QVariant::fromValue(integerOf<signed char>(value));
    case QMetaType::UChar:
        return QVariant::fromValue(integerOf<uchar>(value));
    case QMetaType::Short:
        return QVariant::fromValue(integerOf<qint16>(value));
    case QMetaType::UShort:
        return QVariant::fromValue(integerOf<quint16>(value));
    case QMetaType::Int:
        return QVariant::fromValue(integerOf<qint32>(value));
    case QMetaType::UInt:
        return QVariant::fromValue(integerOf<quint32>(value));
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QVariant::fromValue(integerOf<qint64>(value));
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QVariant::fromValue(integerOf<quint64>(value));
    case QMetaType::Float:
        return QVariant::fromValue(float(numberOf(value)));
    case QMetaType::Double:
        return numberOf(value);
    case QMetaType::QString:
        return textOf(value);
    case QMetaType::QByteArray: {
        if (value.isString())
            return value.toString().toUtf8();
        if (!value.isArray())
            throw SystemError(SystemError::TypeMismatch);
        QByteArray bytes;
        for (const QJsonValue &item : value.toArray())
            bytes.append(char(integerOf<uchar>(item)));
        return bytes;
    }
    case QMetaType::QFont:
        return fontOf(value);
    case QMetaType::QColor: {
        const QColor color(textOf(value));
        if (!color.isValid())
            throw SystemError(SystemError::TypeMismatch);
        return color;
    }
    default:
        break;
    }
    if (id == qMetaTypeId<Picture>())
        return QVariant::fromValue(pictureOf(value));
    QVariant result = fromJson(value);
    if (!result.convert(type))
        throw SystemError(SystemError::TypeMismatch);
    return result;
}
