#include "WindowlessLabel.h"

#include "OleColor.h"
#include "PictureBox.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace ScheduleControl {

WindowlessLabel::WindowlessLabel(PictureBox *pane, const QString &name, Sizing sizing)
    : QObject(pane)
    , m_pane(pane)
    , m_sizing(sizing)
{
    setObjectName(name);
    m_pane->addLabel(this);
    if (m_sizing == Sizing::AutoSize)
        fitCaption();
}

void WindowlessLabel::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    if (m_sizing == Sizing::AutoSize)
        fitCaption();
    invalidate(m_geometry);
}

void WindowlessLabel::setColor(quint32 color)
{
    m_color = OleColor::checked(color);
    invalidate(m_geometry);
}

void WindowlessLabel::setFont(const QFont &font)
{
    m_font = font;
    if (m_sizing == Sizing::AutoSize)
        fitCaption();
    invalidate(m_geometry);
}

void WindowlessLabel::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    if (!m_geometry.isEmpty())
        m_pane->updateInner(m_geometry);
}

void WindowlessLabel::move(double left, double top)
{
    setGeometry(QRect(QPoint(toGrid(left), toGrid(top)), m_geometry.size()));
}

void WindowlessLabel::resize(int width, int height)
{
    setGeometry(QRect(m_geometry.topLeft(), QSize(width, height)));
}

void WindowlessLabel::paint(QPainter &painter, const QPalette &palette) const
{
    if (!m_visible || m_caption.isEmpty() || m_geometry.isEmpty())
        return;
    painter.save();
    painter.setClipRect(m_geometry, Qt::IntersectClip);
    painter.setFont(m_font);
    painter.setPen(OleColor::toColor(m_color, palette));
    const int alignment = m_sizing == Sizing::Fixed ? Qt::AlignHCenter | Qt::AlignTop
                                                    : Qt::AlignLeft | Qt::AlignTop;
    // A centred caption wider than the label is clipped on both sides.
    QRect area = m_geometry;
    if (m_sizing == Sizing::Fixed) {
        const int needed = QFontMetrics(m_font).horizontalAdvance(m_caption);
        if (needed > area.width())
            area.adjust(-(needed - area.width()) / 2, 0, (needed - area.width() + 1) / 2, 0);
    }
    painter.drawText(area, alignment, m_caption);
    painter.restore();
}

int WindowlessLabel::toGrid(double position)
{
    constexpr double limit = 1 << 24;
    return int(std::floor(std::clamp(position, -limit, limit) + 0.5));
}

void WindowlessLabel::setGeometry(const QRect &geometry)
{
    if (geometry == m_geometry)
        return;
    const QRect old = m_geometry;
    m_geometry = geometry;
    invalidate(old);
    invalidate(m_geometry);
}

void WindowlessLabel::fitCaption()
{
    // One font height per line, as wide as the widest line.
    const QFontMetrics metrics(m_font);
    const QStringList lines = QString(m_caption).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    resize(width, metrics.height() * int(lines.size()));
}

void WindowlessLabel::invalidate(const QRect &rect) const
{
    if (m_visible && !rect.isEmpty())
        m_pane->updateInner(rect);
}

} // namespace ScheduleControl
