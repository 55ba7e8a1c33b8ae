#include "FrmAbout.h"

FrmAbout::FrmAbout(QWidget *parent)
    : QDialog(parent)
{
}
