#pragma once

#include <QFont>
#include <QObject>
#include <QRect>
#include <QString>

class QPainter;
class QPalette;

namespace ScheduleControl {

class PictureBox;

/*!
    A label without a window of its own: its pane draws it on the pane's
    inner surface, under any child window of the pane, with a transparent
    background.

    An auto-sized label fits its caption as drawn (a line is as tall as the
    fonts its glyphs come from) and grows to the right from its left edge;
    a fixed-size label keeps its size and centres its caption, clipped to
    its rectangle. Positions are in the pane's inner pixel grid;
    fractional positions are rounded to the nearest pixel (halves up).
*/
class WindowlessLabel : public QObject
{
    Q_OBJECT

public:
    enum class Sizing { AutoSize, Fixed };

    WindowlessLabel(PictureBox *pane, const QString &name, Sizing sizing);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    //! The text colour, an OLE colour.
    quint32 color() const { return m_color; }
    //! Throws SystemError 380 for a colour that is not valid.
    void setColor(quint32 color);

    QFont font() const { return m_font; }
    void setFont(const QFont &font);

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    QRect geometry() const { return m_geometry; }
    int left() const { return m_geometry.left(); }
    int top() const { return m_geometry.top(); }
    int width() const { return m_geometry.width(); }
    int height() const { return m_geometry.height(); }

    //! Distance from the top to the first line's baseline, as drawn.
    int baseline() const;
    //! The size \a text takes in \a font as a label draws it, fallback fonts included.
    static QSize measure(const QFont &font, const QString &text);

    //! Places the label; the position is held on the pixel grid.
    void move(double left, double top);
    void resize(int width, int height);
    void resize(const QSize &size) { resize(size.width(), size.height()); }

    //! Draws the label with \a painter on its pane's inner surface.
    void paint(QPainter &painter, const QPalette &palette) const;

    static int toGrid(double position);

private:
    void setGeometry(const QRect &geometry);
    void fitCaption();
    void invalidate(const QRect &rect) const;

    PictureBox *m_pane = nullptr;
    Sizing m_sizing = Sizing::AutoSize;
    QString m_caption;
    quint32 m_color = 0;
    QFont m_font;
    bool m_visible = true;
    QRect m_geometry;
};

} // namespace ScheduleControl
