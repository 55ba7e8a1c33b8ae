#pragma once

#include <QDialog>

/*!
    The download library's about box, shared by both download controls.

    One instance at a time: showModal() creates it, shows it modally with
    the given component title, and it is unloaded when its OK button is
    pressed.
*/
class FrmAbout : public QDialog
{
    Q_OBJECT

public:
    //! Shows the box modally, owned by \a owner, with \a componentTitle in Label1.
    static int showModal(QWidget *owner, const QString &componentTitle);

    explicit FrmAbout(QWidget *parent = nullptr);
};
