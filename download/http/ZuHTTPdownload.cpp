#include "ZuHTTPdownload.h"

ZuHTTPdownload::ZuHTTPdownload(QWidget *parent)
    : ControlBase(parent)
{
}
