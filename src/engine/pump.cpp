// The message pump of the engine's thread.
#include "engine/pump.h"

#include <windows.h>
#include "engine/engine_state.h"

void PumpMessages(EngineState* st) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (!st || !st->exclusive) Sleep(0);
}
