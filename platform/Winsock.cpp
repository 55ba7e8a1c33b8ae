#include "Winsock.h"
// Implementation pending.
