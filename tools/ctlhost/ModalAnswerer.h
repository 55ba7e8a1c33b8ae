#pragma once

#include <QString>

class QDialog;

/*!
    Answers the modal windows a control opens: each is printed as a
    {"modal": {"title", "texts"[, "screenshot"]}} line and closed as if OK
    were pressed, or left for the user to close.
*/
class ModalAnswerer
{
public:
    //! \a screenshotFolder, when set, receives each window as modal-N.png before it closes.
    ModalAnswerer(bool keepOpen, const QString &screenshotFolder);

    //! Shows \a dialog as a modal window; returns its result.
    int answer(QDialog *dialog);

private:
    bool m_keepOpen = false;
    QString m_screenshotFolder;
    int m_count = 0;
};
