#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class Schedule;

/*!
    The small modal window that a join in the window shows: the bytes
    joined of the total above a Schedule bar with the percentage, and a
    Cancel button.

    The join runs on the window's thread and calls showProgress() as it copies;
    showProgress() draws the progress and lets the window handle its events, so
    it stays responsive. Cancel, Escape or closing the window make the
    next showProgress() return false, until all bytes are joined: what is
    left then (writing into an existing output) only completes.

    The bar is "Schedule1", the text "Label1" and the button "cmdCancel".
*/
class JoinProgressDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr QStringView Title = u"正在结合 Combining";
    static constexpr QStringView CancelText = u"取消 &Cancel";

    explicit JoinProgressDialog(QWidget *parent = nullptr);

    //! Shows \a joined of \a total bytes; false once the user cancelled.
    bool showProgress(qint64 joined, qint64 total);
    bool isCancelled() const { return m_cancelled; }

    void reject() override;

private:
    static constexpr int BarMax = 1000;

    void draw(qint64 joined, qint64 total);

    Schedule *Schedule1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *cmdCancel = nullptr;
    bool m_cancelled = false;
};
