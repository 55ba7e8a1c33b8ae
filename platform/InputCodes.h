#pragma once

#include "tessalhosting_export.h"

#include <qnamespace.h>

class QKeyEvent;

/*!
    The codes that the controls' input events carry, and back from them to
    Qt's: the button mask (1 left, 2 right, 4 middle), the modifier mask
    (1 Shift, 2 Ctrl, 4 Alt) and virtual key codes (VK_ numbering: 'A' 65,
    F1 112, Return 13, keypad 5 0x65...).

    A character typed with Shift (such as "!") gives the code of the key it
    lies on ("1"), with Shift in the mask.
*/
class TESSALHOSTING_EXPORT InputCodes
{
public:
    //! The mask of \a buttons; 0 for buttons the events do not report.
    static int button(Qt::MouseButtons buttons);
    static Qt::MouseButtons buttons(int button);

    //! The mask of \a modifiers.
    static int shift(Qt::KeyboardModifiers modifiers);
    //! The mask while \a event's key is down (a press) or just released: a
    //! modifier key counts as held while it is down.
    static int shift(const QKeyEvent *event);
    static Qt::KeyboardModifiers modifiers(int shift);

    //! The virtual key code of \a event's key, 0 when it has none.
    static int keyCode(const QKeyEvent *event);
    //! The Qt key of \a virtualKey, Qt::Key_unknown when there is none.
    static int qtKey(int virtualKey);
};
