#include "InputCodes.h"

#include "ControlBase.h"

#include <QKeyEvent>

#include <utility>

namespace ScheduleControl::InputCodes {

namespace {

// Shifted characters of a US keyboard, and the virtual key they lie on.
constexpr std::pair<int, int> shiftedKeys[] = {
    {Qt::Key_Exclam, 0x31}, {Qt::Key_At, 0x32}, {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34}, {Qt::Key_Percent, 0x35}, {Qt::Key_AsciiCircum, 0x36},
    {Qt::Key_Ampersand, 0x37}, {Qt::Key_Asterisk, 0x38}, {Qt::Key_ParenLeft, 0x39},
    {Qt::Key_ParenRight, 0x30}, {Qt::Key_Colon, 0xBA}, {Qt::Key_Less, 0xBC},
    {Qt::Key_Underscore, 0xBD}, {Qt::Key_Greater, 0xBE}, {Qt::Key_Question, 0xBF},
    {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BraceLeft, 0xDB}, {Qt::Key_Bar, 0xDC},
    {Qt::Key_BraceRight, 0xDD}, {Qt::Key_QuoteDbl, 0xDE}, {Qt::Key_Backtab, 0x09},
};

} // namespace

qint16 button(Qt::MouseButton button)
{
    return qint16(ControlBase::buttonCode(button));
}

qint16 shift(Qt::KeyboardModifiers modifiers)
{
    return qint16(ControlBase::shiftState(modifiers));
}

qint16 keyCode(const QKeyEvent *event)
{
    if (const int code = ControlBase::virtualKeyCode(event))
        return qint16(code);
    for (const auto &[key, code] : shiftedKeys) {
        if (key == event->key())
            return qint16(code);
    }
    return 0;
}

} // namespace ScheduleControl::InputCodes
