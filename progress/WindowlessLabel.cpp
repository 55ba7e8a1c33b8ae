#include "WindowlessLabel.h"

#include "OleColor.h"
#include "PictureBox.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace ScheduleControl {

namespace {

// Lays \a layout out one line per line feed, each line as tall as the fonts
// its glyphs come from: Chinese text in a Latin font is drawn from a
// fallback font that reaches higher and lower than the label's own font.
// Baselines fall on whole pixels. Returns the height of all lines.
int layOut(QTextLayout &layout)
{
    QString text = layout.text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\n', QChar::LineSeparator);
    layout.setText(text);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    int bottom = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(1e7);
        const int baseline = bottom + qRound(line.ascent());
        line.setPosition(QPointF(0, baseline - line.ascent()));
        bottom = baseline + qRound(line.descent());
    }
    layout.endLayout();
    return bottom;
}

} // namespace

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
    painter.setPen(OleColor::toColor(m_color, palette));
    QTextLayout layout(m_caption, m_font, painter.device());
    layOut(layout);
    // A centred caption wider than the label is clipped on both sides.
    if (m_sizing == Sizing::Fixed) {
        for (int i = 0; i < layout.lineCount(); ++i) {
            QTextLine line = layout.lineAt(i);
            line.setPosition(QPointF(std::floor((width() - line.naturalTextWidth()) / 2), line.y()));
        }
    }
    layout.draw(&painter, m_geometry.topLeft());
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

int WindowlessLabel::baseline() const
{
    QTextLayout layout(m_caption, m_font);
    layOut(layout);
    if (layout.lineCount() == 0)
        return 0;
    const QTextLine first = layout.lineAt(0);
    return qRound(first.y() + first.ascent());
}

QSize WindowlessLabel::measure(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    const int height = layOut(layout);
    return QSize(qRound(layout.maximumWidth()), height);
}

void WindowlessLabel::fitCaption()
{
    resize(measure(m_font, m_caption));
}

void WindowlessLabel::invalidate(const QRect &rect) const
{
    if (m_visible && !rect.isEmpty())
        m_pane->updateInner(rect);
}

} // namespace ScheduleControl
