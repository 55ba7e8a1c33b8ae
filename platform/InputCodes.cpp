#include "InputCodes.h"

#include <QKeyEvent>

#include <utility>

namespace {

using KeyPair = std::pair<int, int>; // virtual key, Qt key

// Keys whose virtual code is not their character code.
constexpr KeyPair keyTable[] = {
    {0x08, Qt::Key_Backspace}, {0x09, Qt::Key_Tab}, {0x0C, Qt::Key_Clear},
    {0x0D, Qt::Key_Return}, {0x10, Qt::Key_Shift}, {0x11, Qt::Key_Control},
    {0x12, Qt::Key_Alt}, {0x13, Qt::Key_Pause}, {0x14, Qt::Key_CapsLock},
    {0x1B, Qt::Key_Escape}, {0x20, Qt::Key_Space}, {0x21, Qt::Key_PageUp},
    {0x22, Qt::Key_PageDown}, {0x23, Qt::Key_End}, {0x24, Qt::Key_Home},
    {0x25, Qt::Key_Left}, {0x26, Qt::Key_Up}, {0x27, Qt::Key_Right}, {0x28, Qt::Key_Down},
    {0x2C, Qt::Key_Print}, {0x2D, Qt::Key_Insert}, {0x2E, Qt::Key_Delete},
    {0x2F, Qt::Key_Help}, {0x5B, Qt::Key_Meta}, {0x5D, Qt::Key_Menu},
    {0x90, Qt::Key_NumLock}, {0x91, Qt::Key_ScrollLock}, {0xBA, Qt::Key_Semicolon},
    {0xBB, Qt::Key_Equal}, {0xBB, Qt::Key_Plus},
    {0xBC, Qt::Key_Comma}, {0xBD, Qt::Key_Minus}, {0xBE, Qt::Key_Period},
    {0xBF, Qt::Key_Slash}, {0xC0, Qt::Key_QuoteLeft}, {0xDB, Qt::Key_BracketLeft},
    {0xDC, Qt::Key_Backslash}, {0xDD, Qt::Key_BracketRight}, {0xDE, Qt::Key_Apostrophe},
};

constexpr KeyPair keypadTable[] = {
    {0x6A, Qt::Key_Asterisk}, {0x6B, Qt::Key_Plus}, {0x6D, Qt::Key_Minus},
    {0x6E, Qt::Key_Period}, {0x6F, Qt::Key_Slash},
};

// Shifted characters of a US keyboard, and the key they lie on.
constexpr KeyPair shiftedTable[] = {
    {0x31, Qt::Key_Exclam}, {0x32, Qt::Key_At}, {0x33, Qt::Key_NumberSign},
    {0x34, Qt::Key_Dollar}, {0x35, Qt::Key_Percent}, {0x36, Qt::Key_AsciiCircum},
    {0x37, Qt::Key_Ampersand}, {0x38, Qt::Key_Asterisk}, {0x39, Qt::Key_ParenLeft},
    {0x30, Qt::Key_ParenRight}, {0xBA, Qt::Key_Colon}, {0xBC, Qt::Key_Less},
    {0xBD, Qt::Key_Underscore}, {0xBE, Qt::Key_Greater}, {0xBF, Qt::Key_Question},
    {0xC0, Qt::Key_AsciiTilde}, {0xDB, Qt::Key_BraceLeft}, {0xDC, Qt::Key_Bar},
    {0xDD, Qt::Key_BraceRight}, {0xDE, Qt::Key_QuoteDbl}, {0x09, Qt::Key_Backtab},
};

// The other member of the first pair whose \a from member is \a value, or 0.
template<size_t N>
int lookUp(const KeyPair (&table)[N], int KeyPair::*from, int KeyPair::*to, int value)
{
    for (const KeyPair &pair : table) {
        if (pair.*from == value)
            return pair.*to;
    }
    return 0;
}

int virtualKeyOf(const auto &table, int qtKey)
{
    return lookUp(table, &KeyPair::second, &KeyPair::first, qtKey);
}

int qtKeyOf(const auto &table, int virtualKey)
{
    return lookUp(table, &KeyPair::first, &KeyPair::second, virtualKey);
}

// Bit 0, 1, 2 of the Shift and Button codes.
constexpr Qt::KeyboardModifier shiftBits[] = {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier};
constexpr Qt::MouseButton buttonBits[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};

template<typename Flag, size_t N>
int codeOf(QFlags<Flag> flags, const Flag (&bits)[N])
{
    int code = 0;
    for (size_t i = 0; i < N; ++i)
        code |= flags.testFlag(bits[i]) ? 1 << i : 0;
    return code;
}

template<typename Flag, size_t N>
QFlags<Flag> flagsOf(int code, const Flag (&bits)[N])
{
    QFlags<Flag> flags;
    for (size_t i = 0; i < N; ++i) {
        if (code & (1 << i))
            flags |= bits[i];
    }
    return flags;
}

} // namespace

int InputCodes::button(Qt::MouseButtons buttons)
{
    return codeOf(buttons, buttonBits);
}

Qt::MouseButtons InputCodes::buttons(int button)
{
    return flagsOf(button, buttonBits);
}

int InputCodes::shift(Qt::KeyboardModifiers modifiers)
{
    return codeOf(modifiers, shiftBits);
}

int InputCodes::shift(const QKeyEvent *event)
{
    const int mask = shift(event->modifiers());
    int own = 0;
    switch (event->key()) {
    case Qt::Key_Shift: own = 1; break;
    case Qt::Key_Control: own = 2; break;
    case Qt::Key_Alt: own = 4; break;
    default: return mask;
    }
    return event->type() == QEvent::KeyRelease ? mask & ~own : mask | own;
}

Qt::KeyboardModifiers InputCodes::modifiers(int shift)
{
    return flagsOf(shift, shiftBits);
}

int InputCodes::keyCode(const QKeyEvent *event)
{
    const int key = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (key == Qt::Key_Enter)
        return 0x0D;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? 0x60 + key - Qt::Key_0 : key; // keypad digits have codes of their own
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + key - Qt::Key_F1;
    int code = keypad ? virtualKeyOf(keypadTable, key) : 0;
    if (code == 0)
        code = virtualKeyOf(keyTable, key);
    if (code == 0)
        code = virtualKeyOf(shiftedTable, key);
    return code;
}

int InputCodes::qtKey(int virtualKey)
{
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z'))
        return virtualKey;
    if (virtualKey >= 0x60 && virtualKey <= 0x69)
        return Qt::Key_0 + virtualKey - 0x60;
    if (virtualKey >= 0x70 && virtualKey <= 0x87)
        return Qt::Key_F1 + virtualKey - 0x70;
    int key = qtKeyOf(keypadTable, virtualKey);
    if (key == 0)
        key = qtKeyOf(keyTable, virtualKey);
    return key == 0 ? int(Qt::Key_unknown) : key;
}
