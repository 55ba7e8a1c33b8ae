#pragma once

#include "ControlBase.h"

class Schedule : public ControlBase
{
    Q_OBJECT

public:
    explicit Schedule(QWidget *parent = nullptr);
};
