#include "ControlLibrary.h"
#include "TestControl.h"

static ControlBase *createTestControl(QWidget *parent)
{
    return new TestControl(parent);
}

extern "C" Q_DECL_EXPORT const ControlClass *SuiteControlClasses(int *count)
{
    static const ControlClass classes[] = {
        {"TestControl", &TestControl::staticMetaObject, &createTestControl},
    };
    *count = int(std::size(classes));
    return classes;
}
