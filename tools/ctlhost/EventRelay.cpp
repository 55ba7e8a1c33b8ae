#include "EventRelay.h"

static QMetaType parameterType(const QMetaMethod &method, int index)
{
    QMetaType type = method.parameterMetaType(index);
    if (type.isValid())
        return type;
    // A parameter by non-const reference carries its type name with '&'.
    QByteArray name = method.parameterTypeName(index);
    if (name.endsWith('&'))
        name.chop(1);
    return QMetaType::fromName(name);
}

EventRelay::EventRelay(QObject *source, const QStringList &eventNames, Callback callback,
                       QObject *parent)
    : QObject(parent)
    , m_callback(std::move(callback))
{
    const QMetaObject *meta = source->metaObject();
    for (const QString &name : eventNames) {
        const QByteArray wanted = name.toUtf8();
        QMetaMethod found;
        // The last declared signal of that name: overloads for default
        // arguments come after the full signature, so prefer the first.
        for (int i = meta->methodCount() - 1; i >= 0; --i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal && method.name() == wanted)
                found = method;
        }
        if (!found.isValid()) {
            m_missing.append(name);
            continue;
        }
        const int slot = QObject::staticMetaObject.methodCount() + int(m_events.size());
        QMetaObject::connect(source, found.methodIndex(), this, slot, Qt::DirectConnection);
        m_events.append(found);
    }
}

int EventRelay::qt_metacall(QMetaObject::Call call, int id, void **argv)
{
    id = QObject::qt_metacall(call, id, argv);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    if (id < m_events.size()) {
        const QMetaMethod &method = m_events.at(id);
        QVariantList args;
        for (int i = 0; i < method.parameterCount(); ++i) {
            const QMetaType type = parameterType(method, i);
            args.append(type.isValid() ? QVariant(type, argv[i + 1]) : QVariant());
        }
        m_callback(QString::fromUtf8(method.name()), args);
    }
    return -1;
}
