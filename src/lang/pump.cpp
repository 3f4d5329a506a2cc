// Keeping the user interface alive: the message pump, the Ctrl+Break poll
// with the host's idle hook, and the timed wait that pumps while it waits.
#include "lang/pump.h"

#include <windows.h>
#include "base/engine_state.h"
#include "lang/host_call.h"

namespace {

// A message for a control goes to its dialog: controls that take the focus
// by Tab carry WS_TABSTOP, the dialog itself does not.
HWND dialog_of(HWND target) {
    if (!target) return nullptr;
    if (GetWindowLongA(target, GWL_STYLE) & WS_TABSTOP) target = GetParent(target);
    return target && IsWindow(target) ? target : nullptr;
}

void handle_message(MSG* msg) {
    HWND dialog = dialog_of(msg->hwnd);
    if (dialog && IsDialogMessageA(dialog, msg)) return;
    TranslateMessage(msg);
    DispatchMessageA(msg);
}

// One pass; `pause` is the sleep after each message (20 ms, or 0 in the
// fast form used while Exclusive is on).
void pump(EngineState* st, DWORD pause) {
    if (st->no_pump) return;
    bool handled = false;
    MSG msg;
    while (!st->cancel_requested && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        handled = true;
        handle_message(&msg);
        CheckCancelKeys(st);
        Sleep(pause);
    }
    if (!handled) CheckCancelKeys(st);
}

// GetKeyState follows the thread's message stream and misses a key pressed
// while the script was busy; the asynchronous state catches that.
bool key_down(int key) {
    return (GetKeyState(key) & 0x8000) || (GetAsyncKeyState(key) & 0x8000);
}

}  // namespace

void PumpMessages(EngineState* st) {
    if (!st) return;
    pump(st, 20);
    if (!st->no_pump && !st->exclusive) Sleep(0);
}

void PumpMessagesFast(EngineState* st) { pump(st, 0); }

void CheckCancelKeys(EngineState* st) {
    if (!st->cancel_disabled && key_down(VK_CONTROL) && key_down(VK_CANCEL)) {
        st->cancel_requested = 1;
        st->report_cancel = 1;
    }
    if (st->hook_flags & HOOK_FLAG_IDLE) (void)host_statement_hook(st, "1", 0, 0, 0, 0);
}

void WaitPumping(EngineState* st, uint32_t milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        // Unsigned difference: correct across the 49.7-day wrap of the tick count.
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds || st->cancel_requested) break;
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT) ==
            WAIT_OBJECT_0)
            PumpMessages(st);
    }
    Sleep(0);
}
