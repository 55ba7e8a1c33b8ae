#pragma once

#include "ControlBase.h"

class ZuHTTPdownload : public ControlBase
{
    Q_OBJECT

public:
    explicit ZuHTTPdownload(QWidget *parent = nullptr);
};
