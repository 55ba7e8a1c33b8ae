#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>

class ControlBase;

/*!
    The host's view of a control's members: properties read and written,
    methods called, by their host names (not case sensitive), with values
    converted as HostValues describes.
*/
class ControlMembers
{
public:
    explicit ControlMembers(ControlBase *control);

    //! ["get", NAME] -> the value.
    QJsonObject get(const QJsonArray &args) const;
    //! ["set", NAME, VALUE].
    QJsonObject set(const QJsonArray &args) const;
    //! ["call", NAME, ARG...] -> the return value; the overload taking that many arguments is called.
    QJsonObject call(const QJsonArray &args) const;

    //! The property behind \a hostName; invalid when there is none.
    QMetaProperty findProperty(const QString &hostName) const;

private:
    QList<QMetaMethod> findMethods(const QString &hostName) const;

    QPointer<ControlBase> m_control;
};
