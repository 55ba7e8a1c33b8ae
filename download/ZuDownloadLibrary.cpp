#include "ControlLibrary.h"
#include "ZuFTPDownLoad.h"
#include "ZuHTTPdownload.h"

template<typename Control>
static ControlBase *create(QWidget *parent)
{
    return new Control(parent);
}

extern "C" Q_DECL_EXPORT const ControlClass *SuiteControlClasses(int *count)
{
    static const ControlClass classes[] = {
        {"ZuHTTPdownload", &ZuHTTPdownload::staticMetaObject, &create<ZuHTTPdownload>},
        {"ZuFTPDownLoad", &ZuFTPDownLoad::staticMetaObject, &create<ZuFTPDownLoad>},
    };
    *count = int(std::size(classes));
    return classes;
}
