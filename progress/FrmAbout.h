#pragma once

#include <QDialog>

class QPaintEvent;

namespace ScheduleControl {

/*!
    The progress bar library's about box: name, version, author, mail and
    home page links, and an OK button that closes and unloads it.

    One box at a time: showModal() creates it when it does not exist, runs
    it modally without an owner window, and unloads it once it is closed.
*/
class FrmAbout : public QDialog
{
    Q_OBJECT

public:
    //! Creates the box if needed and runs it modally; throws SystemError 400
    //! when the box is already being shown modally.
    static int showModal();

    explicit FrmAbout(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ScheduleControl
