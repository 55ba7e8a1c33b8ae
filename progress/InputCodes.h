#pragma once

#include <QtGlobal>
#include <qnamespace.h>

class QKeyEvent;

namespace ScheduleControl {

/*!
    The codes the bar's input events carry: button mask (1 left, 2 right,
    4 middle), modifier mask (1 Shift, 2 Ctrl, 4 Alt) and virtual key codes,
    as the hosting base numbers them. A character typed with Shift (such as
    "!") reports the key it lies on ("1"), with Shift in the mask.
*/
namespace InputCodes {

//! The mask of \a button, 0 for a button the events do not report.
qint16 button(Qt::MouseButton button);
qint16 shift(Qt::KeyboardModifiers modifiers);
//! The virtual key code of \a event's key, 0 when it has none.
qint16 keyCode(const QKeyEvent *event);

} // namespace InputCodes
} // namespace ScheduleControl
