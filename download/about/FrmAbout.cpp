#include "FrmAbout.h"

#include "ModalRunner.h"

int FrmAbout::showModal(QWidget *owner, const QString &componentTitle)
{
    Q_UNUSED(componentTitle);
    FrmAbout box(owner);
    return ModalRunner::exec(&box);
}

FrmAbout::FrmAbout(QWidget *parent)
    : QDialog(parent)
{
}
