#pragma once

#include "tessalhosting_export.h"

#include <QMessageBox>

#include <functional>

class QDialog;

/*!
    Runs modal windows and message boxes.

    Every modal form and message box of the suite goes through exec(), so a
    host or a test can take them over with setHandler(): record them, answer
    them, or let them run as usual.
*/
class TESSALHOSTING_EXPORT ModalRunner
{
public:
    //! Receives the dialog instead of its exec(); returns the dialog's result.
    using Handler = std::function<int(QDialog *)>;

    static int exec(QDialog *dialog);
    //! A message box with \a icon and the single button OK.
    static int messageBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                          const QString &title);

    //! Installs \a handler (an empty one restores exec()); returns the previous one.
    static Handler setHandler(Handler handler);

    //! Every label and button text of \a dialog that shows with it, in widget order
    //! (the title is windowTitle()).
    static QStringList texts(const QDialog *dialog);
};
