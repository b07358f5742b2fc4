// Temporary: keeps the engine library non-empty while its headers settle.
#include "ut_classes.h"
