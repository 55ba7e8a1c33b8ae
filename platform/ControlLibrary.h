#pragma once

#include <QtGlobal>

#include <cstring>

class ControlBase;
class QMetaObject;
class QWidget;

/*!
    What a control library offers a host that loads it at run time: its
    classes by name, each with its meta-object (members and events) and a
    way to create one.

    A library exports one table through SuiteControlClasses; a host resolves
    that symbol (QLibrary) and calls it. Hosts that link the library directly
    use the classes themselves.
*/
struct ControlClass
{
    const char *name;
    const QMetaObject *metaObject;
    ControlBase *(*create)(QWidget *parent);
};

//! Signature of the exported entry point: returns the table and its length.
using SuiteControlClassesFunction = const ControlClass *(*)(int *count);

#define SUITE_CONTROL_ENTRY_POINT "SuiteControlClasses"

//! The class called \a name in a library's table, or nullptr.
inline const ControlClass *findControlClass(SuiteControlClassesFunction classes, const char *name)
{
    int count = 0;
    const ControlClass *table = classes(&count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, name) == 0)
            return &table[i];
    }
    return nullptr;
}
