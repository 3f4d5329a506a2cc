// The console control handler: the first Ctrl+C (or Ctrl+Break) asks the
// engine to cancel as its own Ctrl+Break check would; a second one, while
// the script has not stopped yet (it may wait for input), ends the runner.
// Wine delivers a SIGINT of the process as CTRL_C_EVENT, so this works the
// same from a Linux terminal.
#include "cancel_key.h"

#include "error_line.h"

namespace {

HGLOBAL g_engine = nullptr;
DLLServicesFn g_services = nullptr;
volatile LONG g_presses = 0;
volatile DWORD g_first_press_tick = 0;

// One key press can arrive as two events: a terminal (or `timeout`) signals
// the whole process group, and Wine turns each signal the program's
// processes receive into an event. Presses this close together count once.
constexpr DWORD kSamePressMilliseconds = 1000;

// Runs on a thread of its own that the system starts for the event. A
// script that disabled cancelling (IntControl) ignores the key, as it
// ignores Ctrl+Break.
BOOL WINAPI on_control_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (g_presses > 0) {
        if (GetTickCount() - g_first_press_tick < kSamePressMilliseconds) return TRUE;
        ExitProcess(EXIT_FAILED);
    }
    if (g_services && g_services(g_engine, KESTR_SVC_CANCEL, 0, 0, 0, 0)) {
        g_first_press_tick = GetTickCount();
        InterlockedIncrement(&g_presses);
    }
    return TRUE;
}

}  // namespace

void watch_cancel_keys(HGLOBAL engine, DLLServicesFn services) {
    g_engine = engine;
    g_services = services;
    SetConsoleCtrlHandler(on_control_event, TRUE);
}
