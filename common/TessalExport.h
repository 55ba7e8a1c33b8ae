#pragma once

#include <QtGlobal>

// The helpers a host meets in a control's interface (ControlBase, PropertyBag,
// Picture, SystemError) are linked into every control library, and each of
// them exports its copy; everything else stays hidden.
#define TESSAL_EXPORT Q_DECL_EXPORT
