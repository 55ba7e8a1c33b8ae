#pragma once

#include <QtGlobal>
#include <qnamespace.h>

class QKeyEvent;

namespace ScheduleControl {

/*!
    The codes the bar's input events carry: button mask (1 left, 2 right,
    4 middle), modifier mask (1 Shift, 2 Ctrl, 4 Alt) and virtual key codes
    of the desktop the control family comes from.
*/
namespace InputCodes {

//! The mask of \a button, 0 for a button the events do not report.
qint16 button(Qt::MouseButton button);
qint16 shift(Qt::KeyboardModifiers modifiers);
//! The virtual key code of \a event's key, 0 when it has none.
qint16 keyCode(const QKeyEvent *event);
//! The Qt key for a virtual key code, Qt::Key_unknown when none.
Qt::Key qtKey(int keyCode);

} // namespace InputCodes
} // namespace ScheduleControl
