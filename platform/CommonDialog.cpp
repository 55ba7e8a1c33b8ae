#include "CommonDialog.h"

CommonDialog::CommonDialog(QWidget *owner)
    : m_owner(owner)
{
}

void CommonDialog::ShowOpen()
{
}

void CommonDialog::ShowSave()
{
}
