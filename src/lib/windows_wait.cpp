// Waiting for windows (to appear, to close, for their program to be idle,
// for a child window) and the child-window tests. Every wait looks four
// times a second and pumps messages in between, so the engine's windows
// stay alive and a cancel request ends the wait.
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"
#include "lib/window_name.h"
#include "lib/window_ops.h"

namespace {

constexpr uint32_t kLookInterval = 250;
constexpr uint32_t kCloseGrace = 1500;
constexpr int32_t kLongestWaitSeconds = 86400;

// The wait's limit in milliseconds: -1 waits without limit (returned as
// -1), values below -1 count as 0 and values above a day as a day.
int64_t wait_limit(int32_t seconds) {
    if (seconds == -1) return -1;
    if (seconds < -1) return 0;
    if (seconds > kLongestWaitSeconds) seconds = kLongestWaitSeconds;
    return static_cast<int64_t>(seconds) * 1000;
}

bool stopped(const EngineState* st) { return st->cancel_requested || st->error; }

// Looks until `found()` holds or `limit` milliseconds (see wait_limit) have
// passed since `start`; false on time-out or cancel.
template <typename Found>
bool wait_until_found(EngineState* st, int64_t limit, DWORD start, Found found) {
    for (;;) {
        if (found()) return true;
        if (limit >= 0 && static_cast<int64_t>(GetTickCount() - start) >= limit) return false;
        PumpMessages(st);
        if (stopped(st)) return false;
        WaitPumping(st, kLookInterval);
        if (stopped(st)) return false;
    }
}

bool empty_name(EngineState* st, const Value& arg) {
    return text_is_wide(arg) ? arg_span<wchar_t>(st, arg).n == 0 : arg_span<char>(st, arg).n == 0;
}

HWND named_child(EngineState* st, HWND parent, const Value& name) {
    return text_is_wide(name) ? find_child_window(st, parent, arg_span<wchar_t>(st, name).p)
                : find_child_window(st, parent, arg_span<char>(st, name).p);
}

// A found window ends the wait with the after-window delay and 1.
void finish(EngineState* st, Value* result, bool found) {
    if (found) wait_after_window(st);
    result->v.integer = found && !stopped(st);
}

// WinWaitExist(name, timeout) -> 1 when the window exists, 0 on time-out or cancel
BUILTIN(win_wait_exist) {
    if (empty_name(st, args[1])) {
        result->v.integer = 1;
        return;
    }
    const bool found = wait_until_found(st, wait_limit(args[2].v.integer), GetTickCount(),
                                        [&] { return named_window(st, args[1]) != nullptr; });
    finish(st, result, found);
}

// Whether the program that owns `window` waits for input; a program
// without a message queue of its own (a console) counts as idle.
bool program_idle(HWND window) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
    if (!process) return true;
    const DWORD state = WaitForInputIdle(process, 0);
    CloseHandle(process);
    return state != WAIT_TIMEOUT;
}

// WinWaitReady(name, timeout) -> 1 when the window exists and its program is idle, else 0
BUILTIN(win_wait_ready) {
    const bool found = wait_until_found(st, wait_limit(args[2].v.integer), GetTickCount(), [&] {
        HWND window = named_window(st, args[1]);
        return window && program_idle(window);
    });
    finish(st, result, found);
}

// WinWaitChild(parent, child, timeout) -> 1 when the child window exists under the parent, else 0
BUILTIN(win_wait_child) {
    const bool found = wait_until_found(st, wait_limit(args[3].v.integer), GetTickCount(), [&] {
        HWND parent = named_window(st, args[1]);
        return parent && named_child(st, parent, args[2]);
    });
    finish(st, result, found);
}

// WinWaitClose(name, timeout = -1) -> 1 when the window was there at some
// look (it has closed unless the time ran out), 0 when it never was. The
// first look comes after a grace time in which a closing program may still
// be starting up its window.
BUILTIN(win_wait_close) {
    const DWORD start = GetTickCount();
    const int64_t limit = wait_limit(optional_arg(args, count, 2, -1));
    WaitPumping(st, kCloseGrace);
    bool seen = false;
    (void)wait_until_found(st, limit, start, [&] {
        const bool exists = named_window(st, args[1]) != nullptr;
        seen |= exists;
        return !exists;
    });
    finish(st, result, seen);
}

// WinExistChild(parent, child) -> 1/0
BUILTIN(win_exist_child) {
    HWND parent = named_window(st, args[1]);
    result->v.integer = parent && named_child(st, parent, args[2]);
}

// WinActivChild(parent, child), WinActiveChild(parent, child) -> 1, 0 when
// either window is missing: the parent to the front, the child on top of
// its siblings.
BUILTIN(win_activate_child) {
    HWND parent = named_window(st, args[1]);
    HWND child = parent ? named_child(st, parent, args[2]) : nullptr;
    if (!child) return;
    bring_to_front(st, parent);
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS);
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kWindowWaitBuiltins[] = {
    BUILTIN_ROW("winactivchild", win_activate_child),
    BUILTIN_ROW("winactivechild", win_activate_child),
    BUILTIN_ROW("winexistchild", win_exist_child),
    BUILTIN_ROW("winwaitchild", win_wait_child),
    BUILTIN_ROW("winwaitclose", win_wait_close),
    BUILTIN_ROW("winwaitexist", win_wait_exist),
    BUILTIN_ROW("winwaitready", win_wait_ready),
};
constexpr size_t kWindowWaitBuiltinCount = sizeof(kWindowWaitBuiltins) / sizeof(kWindowWaitBuiltins[0]);
