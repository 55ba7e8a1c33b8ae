#include "ControlLibrary.h"
#include "Schedule.h"

static ControlBase *createSchedule(QWidget *parent)
{
    return new Schedule(parent);
}

extern "C" Q_DECL_EXPORT const ControlClass *SuiteControlClasses(int *count)
{
    static const ControlClass classes[] = {
        {"Schedule", &Schedule::staticMetaObject, &createSchedule},
    };
    *count = int(std::size(classes));
    return classes;
}
