#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>

class ControlBase;
class QEvent;
class QWidget;

/*!
    Mouse and key events made from a host's commands and sent to the control
    as the user's input would reach it: a release goes where its press went,
    keys to the focused child.
*/
class SyntheticInput
{
public:
    explicit SyntheticInput(ControlBase *control);

    //! ["mouse", "down"|"up", X, Y, BUTTON, SHIFT] in pixels; BUTTON 1 left, 2 right, 4 middle.
    QJsonObject mouse(const QJsonArray &args);
    //! ["key", "down"|"up", KEYCODE, SHIFT] with a virtual key code.
    QJsonObject key(const QJsonArray &args);

private:
    QJsonObject deliver(QWidget *target, QEvent *event);

    QPointer<ControlBase> m_control;
    QPointer<QWidget> m_mouseGrab;
};
