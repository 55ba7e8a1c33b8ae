#include "PaneSurface.h"

#include "InputCodes.h"
#include "OleColor.h"
#include "PictureBox.h"
#include "WindowlessLabel.h"

#include <QMouseEvent>
#include <QPainter>
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
}

void PaneSurface::mousePressEvent(QMouseEvent *event)
{
    if (const qint16 button = InputCodes::button(event->button())) {
        const QPointF at = event->position();
        Q_EMIT m_pane->mousePressed(button, InputCodes::shift(event->modifiers()),
                                    float(at.x()), float(at.y()));
    }
}

void PaneSurface::mouseReleaseEvent(QMouseEvent *event)
{
    if (const qint16 button = InputCodes::button(event->button())) {
        const QPointF at = event->position();
        Q_EMIT m_pane->mouseReleased(button, InputCodes::shift(event->modifiers()),
                                     float(at.x()), float(at.y()));
    }
}

} // namespace ScheduleControl
