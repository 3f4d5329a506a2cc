// The DLL's entry: remembers the module handle for resources and classes,
// and wires the floors together before any entry can be called.
#include <windows.h>
#include "base/engine_state.h"
#include "engine/hooks.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    ModuleInstance = instance;
    if (reason == DLL_PROCESS_ATTACH) install_engine_hooks();
    return TRUE;
}
