#pragma once

#include <QBrush>
#include <QWidget>

#include <utility>

class QPainter;

namespace ScheduleControl {

class PictureBox;

/*!
    The inner area of a PictureBox: paints the back colour, the picture and
    the pane's windowless labels and its focus ring, and reports mouse
    presses and releases in its own pixel grid.
*/
class PaneSurface : public QWidget
{
    Q_OBJECT

public:
    explicit PaneSurface(PictureBox *pane);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void paintFocusRing(QPainter &painter, const QRect &ring);

    PictureBox *m_pane = nullptr;
    QBrush m_ringBrush;
    std::pair<QRgb, QRgb> m_ringColours {};
};

} // namespace ScheduleControl
