#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class Schedule;

/*!
    The small modal window that a join in the window shows: the bytes
    joined of the total above a Schedule bar with the percentage, and a
    Cancel button; or, while the joined cabinet is unpacked, what it does.

    The join runs on the window's thread and calls showProgress() as it copies;
    showProgress() draws the progress and lets the window handle its events, so
    it stays responsive. Cancel (clicked, or Return or Space on it), Escape
    or closing the window make the next showProgress() return false, until
    the join can no longer be stopped: what is left then (writing into an
    existing output) only completes.

    Cancel is the default button and holds the focus; the bar takes neither
    keys nor focus here. The bar is "Schedule1", the text "Label1" and the
    button "cmdCancel".
*/
class JoinProgressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit JoinProgressDialog(QWidget *parent = nullptr);

    //! Shows \a joined of \a total bytes; false once the user cancelled.
    //! Cancel is offered while \a stoppable.
    bool showProgress(qint64 joined, qint64 total, bool stoppable = true);
    //! Shows that the joined cabinet is being unpacked; false once the user cancelled.
    bool showExtracting();
    bool isCancelled() const { return m_cancelled; }

    void reject() override;

private:
    static constexpr int BarMax = 1000;

    void draw(qint64 joined, qint64 total, bool stoppable);

    Schedule *Schedule1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *cmdCancel = nullptr;
    bool m_cancelled = false;
};
