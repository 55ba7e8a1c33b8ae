#include "Schedule.h"

Schedule::Schedule(QWidget *parent)
    : ControlBase(parent)
{
}
