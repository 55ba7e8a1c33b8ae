#include "ZuFTPDownLoad.h"

ZuFTPDownLoad::ZuFTPDownLoad(QWidget *parent)
    : ControlBase(parent)
{
}
