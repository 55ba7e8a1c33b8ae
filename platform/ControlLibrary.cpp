#include "ControlLibrary.h"

#include <cstring>

const ControlClass *findControlClass(SuiteControlClassesFunction classes, const char *name)
{
    int count = 0;
    const ControlClass *table = classes(&count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, name) == 0)
            return &table[i];
    }
    return nullptr;
}
