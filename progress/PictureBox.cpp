#include "PictureBox.h"

#include "OleColor.h"
#include "PaneSurface.h"
#include "SystemError.h"
#include "WindowlessLabel.h"

#include <QCursor>
#include <QPainter>
#include <QPaintEvent>

#include <cmath>
#include <optional>

namespace ScheduleControl {

namespace {

void checkZeroOrOne(qint16 value)
{
    if (value != 0 && value != 1)
        throw SystemError(SystemError::InvalidPropertyValue);
}

std::optional<Qt::CursorShape> cursorShape(qint16 pointer)
{
    switch (pointer) {
    case 1: return Qt::ArrowCursor;
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 4: return Qt::ArrowCursor;
    case 5: return Qt::SizeAllCursor;
    case 6: return Qt::SizeBDiagCursor;
    case 7: return Qt::SizeVerCursor;
    case 8: return Qt::SizeFDiagCursor;
    case 9: return Qt::SizeHorCursor;
    case 10: return Qt::UpArrowCursor;
    case 11: return Qt::WaitCursor;
    case 12: return Qt::ForbiddenCursor;
    case 13: return Qt::BusyCursor;
    case 14: return Qt::WhatsThisCursor;
    case 15: return Qt::SizeAllCursor;
    }
    return std::nullopt;
}

constexpr qint16 CustomPointer = 99;

} // namespace

PictureBox::PictureBox(QWidget *parent, const QString &name)
    : QWidget(parent)
    , m_inner(new PaneSurface(this))
{
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
    placeInner();
}

QWidget *PictureBox::inner() const
{
    return m_inner;
}

int PictureBox::innerWidth() const
{
    return m_inner->width();
}

int PictureBox::innerHeight() const
{
    return m_inner->height();
}

void PictureBox::setBackColor(quint32 color)
{
    m_backColor = OleColor::checked(color);
    m_inner->update();
}

void PictureBox::setPicture(const Picture &picture)
{
    m_picture = picture;
    m_inner->update();
}

void PictureBox::setBorderStyle(qint16 style)
{
    checkZeroOrOne(style);
    m_borderStyle = style;
    placeInner();
    update();
}

void PictureBox::setAppearance(qint16 appearance)
{
    checkZeroOrOne(appearance);
    m_appearance = appearance;
    placeInner();
    update();
}

void PictureBox::setMousePointer(qint16 pointer)
{
    if (pointer != 0 && pointer != CustomPointer && !cursorShape(pointer))
        throw SystemError(SystemError::InvalidPropertyValue);
    m_mousePointer = pointer;
    applyCursor();
}

void PictureBox::setMouseIcon(const Picture &icon)
{
    m_mouseIcon = icon;
    applyCursor();
}

void PictureBox::repaintNow()
{
    // A repaint of the frame does not reach the opaque inner area; paint both.
    if (borderWidth() > 0)
        repaint();
    m_inner->repaint();
}

void PictureBox::setPaneGeometry(const QRect &geometry)
{
    setGeometry(geometry);
    placeInner();
}

void PictureBox::setWidthFromDouble(double width)
{
    if (width < 0)
        throw SystemError(SystemError::InvalidPropertyValue);
    // A NaN (nothing over nothing) shows nothing; a huge fill is clipped anyway.
    const int pixels = std::isnan(width) ? 0 : std::min(WindowlessLabel::toGrid(width), QWIDGETSIZE_MAX);
    if (pixels != QWidget::width())
        setPaneGeometry(QRect(pos(), QSize(pixels, height())));
}

void PictureBox::setFocusRing(const QRect &ring)
{
    if (ring == m_focusRing)
        return;
    const QRegion old = QRegion(m_focusRing).subtracted(m_focusRing.adjusted(1, 1, -1, -1));
    m_focusRing = ring;
    m_inner->update(old + QRegion(ring).subtracted(ring.adjusted(1, 1, -1, -1)));
}

void PictureBox::paintEvent(QPaintEvent *)
{
    const int border = borderWidth();
    if (border == 0)
        return;
    // Whole logical pixels filled, not lines: at a scale of 1.5 or 2 a line of
    // one logical pixel at right()/bottom() leaves the last device pixels bare.
    QPainter painter(this);
    const auto edge = [&](const QRect &box, const QColor &topLeft, const QColor &bottomRight) {
        painter.fillRect(QRect(box.left(), box.top(), box.width(), 1), topLeft);
        painter.fillRect(QRect(box.left(), box.top(), 1, box.height()), topLeft);
        painter.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), bottomRight);
        painter.fillRect(QRect(box.right(), box.top(), 1, box.height()), bottomRight);
    };
    const QRect r = rect();
    if (border == 1) {
        edge(r, Qt::black, Qt::black);
        return;
    }
    const QPalette &p = palette();
    edge(r, p.color(QPalette::Dark), p.color(QPalette::Light));
    edge(r.adjusted(1, 1, -1, -1), p.color(QPalette::Shadow), p.color(QPalette::Midlight));
}

void PictureBox::resizeEvent(QResizeEvent *)
{
    placeInner();
}

void PictureBox::addLabel(WindowlessLabel *label)
{
    m_labels.append(label);
}

void PictureBox::updateInner(const QRect &rect)
{
    m_inner->update(rect);
}

int PictureBox::borderWidth() const
{
    if (m_borderStyle == 0)
        return 0;
    return m_appearance == 1 ? 2 : 1;
}

void PictureBox::placeInner()
{
    const int border = borderWidth();
    m_inner->setGeometry(rect().adjusted(border, border, -border, -border));
}

void PictureBox::applyCursor()
{
    if (m_mousePointer == CustomPointer && !m_mouseIcon.isNull())
        setCursor(QCursor(m_mouseIcon.pixmap()));
    else if (const auto shape = cursorShape(m_mousePointer))
        setCursor(*shape);
    else
        unsetCursor();
}

} // namespace ScheduleControl
