#include "OleColor.h"

#include "SystemError.h"

namespace ScheduleControl::OleColor {

namespace {

constexpr quint32 HighestSystemIndex = 24;

QColor systemColor(quint32 index, const QPalette &palette)
{
    switch (index) {
    case 0: return palette.color(QPalette::Button);            // scroll bar
    case 1: return palette.color(QPalette::Dark);              // desktop
    case 2: return palette.color(QPalette::Highlight);         // active caption
    case 3: return palette.color(QPalette::Mid);               // inactive caption
    case 4: return palette.color(QPalette::Window);            // menu
    case 5: return palette.color(QPalette::Base);              // window
    case 6: return palette.color(QPalette::Shadow);            // window frame
    case 7: return palette.color(QPalette::WindowText);        // menu text
    case 8: return palette.color(QPalette::Text);              // window text
    case 9: return palette.color(QPalette::HighlightedText);   // caption text
    case 10: return palette.color(QPalette::Button);           // active border
    case 11: return palette.color(QPalette::Button);           // inactive border
    case 12: return palette.color(QPalette::Mid);              // application workspace
    case 13: return palette.color(QPalette::Highlight);        // highlight
    case 14: return palette.color(QPalette::HighlightedText);  // highlight text
    case 15: return palette.color(QPalette::Button);           // button face
    case 16: return palette.color(QPalette::Dark);             // button shadow
    case 17: return palette.color(QPalette::Disabled, QPalette::Text); // grey text
    case 18: return palette.color(QPalette::ButtonText);       // button text
    case 19: return palette.color(QPalette::Disabled, QPalette::WindowText); // inactive caption text
    case 20: return palette.color(QPalette::Light);            // button highlight
    case 21: return palette.color(QPalette::Shadow);           // 3D dark shadow
    case 22: return palette.color(QPalette::Midlight);         // 3D light
    case 23: return palette.color(QPalette::ToolTipText);      // info text
    case 24: return palette.color(QPalette::ToolTipBase);      // info background
    }
    return Qt::black;
}

} // namespace

bool isValid(quint32 color)
{
    const quint32 high = color >> 24;
    if (high == 0x80)
        return (color & 0x00FFFF00u) == 0 && (color & 0xFFu) <= HighestSystemIndex;
    // 0x02 marks a palette-relative RGB value; it draws as the RGB it names.
    return high == 0x00 || high == 0x02;
}

quint32 checked(quint32 color)
{
    if (!isValid(color))
        throw SystemError(SystemError::InvalidPropertyValue);
    return color;
}

QColor toColor(quint32 color, const QPalette &palette)
{
    if (color & SystemFlag)
        return systemColor(color & 0xFFu, palette);
    return QColor(int(color & 0xFFu), int((color >> 8) & 0xFFu), int((color >> 16) & 0xFFu));
}

quint32 fromRgb(QRgb rgb)
{
    return quint32(qRed(rgb)) | quint32(qGreen(rgb)) << 8 | quint32(qBlue(rgb)) << 16;
}

} // namespace ScheduleControl::OleColor
