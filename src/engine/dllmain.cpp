// The DLL's entry: remembers the module handle for resources and classes.
#include <windows.h>
#include "base/engine_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reason;
    (void)reserved;
    ModuleInstance = instance;
    return TRUE;
}
