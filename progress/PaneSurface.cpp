#include "PaneSurface.h"

#include "InputCodes.h"
#include "OleColor.h"
#include "PictureBox.h"
#include "WindowlessLabel.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPaintEvent>

namespace ScheduleControl {

PaneSurface::PaneSurface(PictureBox *pane)
    : QWidget(pane)
    , m_pane(pane)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaneSurface::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QPalette &palette = this->palette();
    painter.fillRect(event->rect(), OleColor::toColor(m_pane->backColor(), palette));
    const Picture picture = m_pane->picture();
    if (!picture.isNull())
        painter.drawPixmap(0, 0, picture.pixmap());
    for (const WindowlessLabel *label : m_pane->labels()) {
        if (label->isVisible() && label->geometry().intersects(event->rect()))
            label->paint(painter, palette);
    }
    if (const QRect ring = m_pane->focusRing(); !ring.isEmpty())
        paintFocusRing(painter, ring);
}

// Dots of whole logical pixels in the palette's text and window colours, so
// the ring shows on any fill, picture or theme, and stays closed at every scale.
void PaneSurface::paintFocusRing(QPainter &painter, const QRect &ring)
{
    const QRgb ink = palette().color(QPalette::WindowText).rgb();
    const QRgb paper = palette().color(QPalette::Window).rgb();
    // Made once: a texture made afresh costs more than the rest of the paint.
    if (m_ringBrush.style() == Qt::NoBrush || m_ringColours != std::pair(ink, paper)) {
        QImage dots(2, 2, QImage::Format_ARGB32_Premultiplied);
        dots.setPixel(0, 0, ink);
        dots.setPixel(1, 1, ink);
        dots.setPixel(1, 0, paper);
        dots.setPixel(0, 1, paper);
        m_ringBrush = QBrush(QPixmap::fromImage(dots));
        m_ringColours = {ink, paper};
    }
    const QBrush &brush = m_ringBrush;
    painter.fillRect(QRect(ring.left(), ring.top(), ring.width(), 1), brush);
    painter.fillRect(QRect(ring.left(), ring.bottom(), ring.width(), 1), brush);
    painter.fillRect(QRect(ring.left(), ring.top() + 1, 1, ring.height() - 2), brush);
    painter.fillRect(QRect(ring.right(), ring.top() + 1, 1, ring.height() - 2), brush);
}

void PaneSurface::mousePressEvent(QMouseEvent *event)
{
    if (const qint16 button = qint16(InputCodes::button(event->button()))) {
        const QPointF at = event->position();
        Q_EMIT m_pane->mousePressed(button, qint16(InputCodes::shift(event->modifiers())),
                                    float(at.x()), float(at.y()));
    }
}

void PaneSurface::mouseReleaseEvent(QMouseEvent *event)
{
    if (const qint16 button = qint16(InputCodes::button(event->button()))) {
        const QPointF at = event->position();
        Q_EMIT m_pane->mouseReleased(button, qint16(InputCodes::shift(event->modifiers())),
                                     float(at.x()), float(at.y()));
    }
}

} // namespace ScheduleControl
