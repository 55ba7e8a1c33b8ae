#pragma once

#include <QColor>
#include <QPalette>

namespace ScheduleControl {

/*!
    32-bit OLE colours as the bar's panes and labels hold them.

    With bit 31 clear the low three bytes are red, green and blue (red in
    the lowest byte). With bit 31 set the low byte indexes a system colour,
    looked up in the palette each time the colour is drawn.
*/
namespace OleColor {

constexpr quint32 SystemFlag = 0x80000000u;
constexpr quint32 ButtonFace = 0x8000000Fu;
constexpr quint32 ActiveCaption = 0x80000002u;
constexpr quint32 ButtonText = 0x80000012u;
constexpr quint32 HighlightText = 0x8000000Eu;

//! Whether a pane or a label accepts \a color.
bool isValid(quint32 color);
//! \a color, or SystemError 380 when it is not a valid colour.
quint32 checked(quint32 color);
//! The colour to draw for \a color, system colours taken from \a palette.
QColor toColor(quint32 color, const QPalette &palette);
//! The OLE colour of an RGB colour.
quint32 fromRgb(QRgb rgb);

} // namespace OleColor
} // namespace ScheduleControl
