#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QVariantList>

#include <functional>

/*!
    Receives every event (signal) of a control, whatever its parameters,
    and hands its name and arguments to a callback.

    It has one dynamic slot per event, served by its own qt_metacall(), so
    no slot has to be declared for the signatures of the controls.
*/
class EventRelay : public QObject
{
public:
    using Callback = std::function<void(const QString &name, const QVariantList &args)>;

    EventRelay(QObject *source, const QStringList &eventNames, Callback callback,
               QObject *parent = nullptr);

    //! The events named that the source has no signal for.
    QStringList missing() const { return m_missing; }

    int qt_metacall(QMetaObject::Call call, int id, void **argv) override;

private:
    QList<QMetaMethod> m_events;
    QStringList m_missing;
    Callback m_callback;
};
