// The table of calls into higher floors; empty until the engine fills it.
#include "base/upcalls.h"

Upcalls g_upcalls;
