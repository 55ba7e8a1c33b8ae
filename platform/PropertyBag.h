#pragma once

#include "tessalhosting_export.h"

#include <QFont>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

/*!
    The property bag a host hands a control to load and save its
    properties.

    ReadProperty() returns the stored value, or the default when the name
    is absent. WriteProperty() stores a value unless it equals the default
    (a text never equals a number: "100" is kept against the default 100;
    an empty value or a null Picture equals an empty default), and both
    record every call in order (reads(), writes()).

    A bag can be kept as JSON: texts stay texts, integers stay integers
    (every integer loads as qint32, or qint64 beyond 32 bits), booleans stay
    booleans, a Picture is stored as {"picture": PATH} and loaded from that
    file again, a QFont as {"font": {"name", "size", "bold", ...}}.
*/
class TESSALHOSTING_EXPORT PropertyBag
{
public:
    struct Write {
        QString name;
        QVariant value;
        QVariant defaultValue;
    };
    struct Read {
        QString name;
        QVariant defaultValue;
    };

    QVariant ReadProperty(const QString &name, const QVariant &defaultValue = QVariant()) const;
    void WriteProperty(const QString &name, const QVariant &value,
                       const QVariant &defaultValue = QVariant());

    bool contains(const QString &name) const { return m_values.contains(name); }
    QVariantMap values() const { return m_values; }
    void setValue(const QString &name, const QVariant &value) { m_values.insert(name, value); }
    //! Every WriteProperty() call since the bag was made, in order.
    QList<Write> writes() const { return m_writes; }
    //! Every ReadProperty() call since the bag was made, in order.
    QList<Read> reads() const { return m_reads; }

    //! Whether WriteProperty() leaves \a value out as equal to \a defaultValue.
    static bool equalsDefault(const QVariant &value, const QVariant &defaultValue);

    //! Whether \a value holds an integer type (char through unsigned long long; not bool).
    static bool isInteger(const QVariant &value);
    //! Whether \a value holds an integer or a floating-point type (not bool).
    static bool isNumber(const QVariant &value);

    QJsonObject toJson() const;
    static PropertyBag fromJson(const QJsonObject &object);
    static QJsonValue toJsonValue(const QVariant &value);
    static QVariant fromJsonValue(const QJsonValue &value);
    static QJsonObject fontToJson(const QFont &font);
    static QFont fontFromJson(const QJsonObject &object);

    //! Stores the bag as a JSON file; false when it cannot be written.
    bool save(const QString &path) const;
    //! Loads a bag stored by save(); throws SystemError when it cannot.
    static PropertyBag load(const QString &path);

private:
    QVariantMap m_values;
    QList<Write> m_writes;
    mutable QList<Read> m_reads;
};
