#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>

class ControlBase;
class ControlMembers;

/*!
    Initialises a control as new, or loads it from saved properties, and
    saves it, through a PropertyBag as a container would. A control is
    initialised or loaded once.
*/
class PropertyBagCommands
{
public:
    PropertyBagCommands(ControlBase *control, const ControlMembers &members);

    //! Initialises the control as new unless it was initialised or loaded.
    void ensureInitialised();
    //! ["load", {KEY: VALUE, ...}] or ["load", FILE]: the control reads its properties from the bag.
    QJsonObject load(const QJsonArray &args);
    //! ["save"] or ["save", FILE] -> [[KEY, VALUE, DEFAULT], ...] in the order written.
    QJsonObject save(const QJsonArray &args);

private:
    QPointer<ControlBase> m_control;
    const ControlMembers &m_members;
    bool m_initialised = false;
};
