#pragma once

#include <QLabel>

/*!
    A label that acts as a link: clicked() when the left button is released
    over it. The about boxes' mail address and home page are such labels;
    each box gives them its own look.
*/
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
