#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

/*!
    The property bag a host hands a control to load and save its
    properties.

    ReadProperty() returns the stored value, or the default when the name
    is absent. WriteProperty() stores a value unless it equals the default,
    and records every call in order (writes()). A bag can be kept as JSON:
    texts stay texts, integers stay integers, pictures keep their file path.
*/
class PropertyBag
{
public:
    struct Write {
        QString name;
        QVariant value;
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

    QJsonObject toJson() const;
    static PropertyBag fromJson(const QJsonObject &object);
    static QJsonValue toJsonValue(const QVariant &value);
    static QVariant fromJsonValue(const QJsonValue &value);

    //! Stores the bag as a JSON file; false when it cannot be written.
    bool save(const QString &path) const;
    //! Loads a bag stored by save(); throws SystemError when it cannot.
    static PropertyBag load(const QString &path);

private:
    QVariantMap m_values;
    QList<Write> m_writes;
};
