// Array share counting for values, until the array code takes these over:
// the share count is the lock count of the array's global memory block, and
// the value's array handle is taken to be that block.
#include "lang/value.h"

void array_drop_share(EngineState*, uintptr_t array) {
    GlobalUnlock(reinterpret_cast<HGLOBAL>(array));
}

void array_add_share(EngineState*, uintptr_t array) {
    GlobalLock(reinterpret_cast<HGLOBAL>(array));
}
