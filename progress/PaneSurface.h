#pragma once

#include <QWidget>

namespace ScheduleControl {

class PictureBox;

/*!
    The inner area of a PictureBox: paints the back colour, the picture and
    the pane's windowless labels, and reports mouse presses and releases in
    its own pixel grid.
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
    PictureBox *m_pane = nullptr;
};

} // namespace ScheduleControl
