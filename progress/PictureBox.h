#pragma once

#include "Picture.h"

#include <QList>
#include <QWidget>

namespace ScheduleControl {

class PaneSurface;
class WindowlessLabel;

/*!
    A picture-box pane: a child window with a back colour, an optional
    picture drawn unscaled at its inner top-left corner, an optional border,
    a mouse pointer, and the windowless labels drawn on it.

    The border (style 0 none, 1 fixed single; appearance 0 flat one-pixel
    line, 1 sunken two-pixel edge) lies outside the inner area. Child panes
    and labels are placed in the inner area's pixel grid and clipped to it:
    put child windows on inner().

    Setters that the pane refuses throw SystemError 380.
*/
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent, const QString &name);

    //! The inner area: parent of child panes, origin of the pixel grid.
    QWidget *inner() const;
    int innerWidth() const;
    int innerHeight() const;

    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 color);

    Picture picture() const { return m_picture; }
    void setPicture(const Picture &picture);

    qint16 borderStyle() const { return m_borderStyle; }
    void setBorderStyle(qint16 style);

    qint16 appearance() const { return m_appearance; }
    void setAppearance(qint16 appearance);

    qint16 mousePointer() const { return m_mousePointer; }
    void setMousePointer(qint16 pointer);

    Picture mouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const Picture &icon);

    //! Repaints the pane and what lies on it at once, without waiting for the event loop.
    void repaintNow();

    //! Moves and sizes the pane; its inner area follows at once, also while hidden.
    void setPaneGeometry(const QRect &geometry);
    //! Sets the width from a computed extent; a negative one is refused.
    void setWidthFromDouble(double width);

    //! A focus ring drawn over the labels, in the inner grid; empty for none.
    QRect focusRing() const { return m_focusRing; }
    void setFocusRing(const QRect &ring);

    QList<WindowlessLabel *> labels() const { return m_labels; }

Q_SIGNALS:
    //! A button went down or up over the inner area, at \a x, \a y of its grid.
    void mousePressed(qint16 button, qint16 shift, float x, float y);
    void mouseReleased(qint16 button, qint16 shift, float x, float y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class PaneSurface;
    friend class WindowlessLabel;

    void addLabel(WindowlessLabel *label);
    void updateInner(const QRect &rect);
    int borderWidth() const;
    void placeInner();
    void applyCursor();

    PaneSurface *m_inner = nullptr;
    QList<WindowlessLabel *> m_labels;
    quint32 m_backColor = 0;
    Picture m_picture;
    qint16 m_borderStyle = 0;
    qint16 m_appearance = 1;
    qint16 m_mousePointer = 0;
    Picture m_mouseIcon;
    QRect m_focusRing;
};

} // namespace ScheduleControl
