#pragma once

#include "ControlBase.h"

class ZuFTPDownLoad : public ControlBase
{
    Q_OBJECT

public:
    explicit ZuFTPDownLoad(QWidget *parent = nullptr);
};
