// Machinery shared by the window function files: resolving a name argument,
// titles and ids as results, settled showing and the foreground methods.
#include "lib/window_ops.h"

#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/text_ops.h"
#include "lib/window_name.h"

namespace {

constexpr int kForegroundMethodRequest = 61;
constexpr int kDelayRequest = 70;
constexpr DWORD kSettleMilliseconds = 5000;
constexpr DWORD kSettleStep = 10;

template <typename C>
bool text_result(EngineState* st, Value* result, HWND window, bool as_id) {
    if (as_id) {
        C id[WINDOW_ID_CHARS + 1];
        if (!window_id_text(st, window, id)) return set_result<C>(st, result, Span<C>{id, 0});
        return set_result<C>(st, result, Span<C>{id, WINDOW_ID_CHARS});
    }
    C title[WINDOW_TITLE_CHARS];
    const int length = sizeof(C) == 1 ? GetWindowTextA(window, reinterpret_cast<char*>(title), WINDOW_TITLE_CHARS)
                                      : GetWindowTextW(window, reinterpret_cast<wchar_t*>(title), WINDOW_TITLE_CHARS);
    return set_result<C>(st, result, Span<C>{title, length > 0 ? static_cast<size_t>(length) : 0});
}

// Whether the window shows the state that `command` asks for.
bool reached(HWND window, int command) {
    switch (command) {
    case SW_HIDE: return !IsWindowVisible(window);
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE: return IsIconic(window);
    case SW_MAXIMIZE: return IsZoomed(window);
    case SW_RESTORE: return IsWindowVisible(window) && !IsIconic(window) && !IsZoomed(window);
    default: return IsWindowVisible(window) != 0;
    }
}

typedef void(WINAPI* SwitchTo)(HWND, BOOL);

void switch_to(HWND window) {
    const auto call = reinterpret_cast<SwitchTo>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SwitchToThisWindow")));
    if (call) call(window, TRUE);
    else SetForegroundWindow(window);
}

// Method 1: show, top-most for the moment, switch, and click just inside
// the top-left corner so that the window's own program takes the focus.
void front_by_click(HWND window) {
    ShowWindow(window, SW_SHOW);
    const bool was_topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    if (!was_topmost) SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, keep);
    switch_to(window);
    if (!was_topmost) SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
    if (!IsWindowVisible(window) || !IsWindowEnabled(window) || IsIconic(window)) return;
    RECT r;
    POINT cursor;
    if (!GetWindowRect(window, &r) || !GetCursorPos(&cursor)) return;
    SetCursorPos(r.left + 2, r.top + 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    SetCursorPos(cursor.x, cursor.y);
}

void front_without_lock(HWND window) {
    DWORD timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(timeout)), 0);
}

// Methods 4 and 5: the foreground window's input thread lets a thread
// attached to it hand the foreground on.
void front_attached(HWND window) {
    const HWND current = GetForegroundWindow();
    const DWORD own = GetCurrentThreadId();
    const DWORD other = current ? GetWindowThreadProcessId(current, nullptr) : 0;
    const bool attach = other && other != own && AttachThreadInput(own, other, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    if (attach) AttachThreadInput(own, other, FALSE);
}

}  // namespace

HWND named_window(EngineState* st, const Value& arg) {
    return text_is_wide(arg) ? find_window(st, arg_span<wchar_t>(st, arg).p) : find_window(st, arg_span<char>(st, arg).p);
}

HWND named_window_or_raise(EngineState* st, const Value& arg, Err not_found) {
    HWND window = named_window(st, arg);
    if (!window) raise(st, not_found);
    return window;
}

bool window_text_result(EngineState* st, Value* result, HWND window, bool wide, bool as_id) {
    return wide ? text_result<wchar_t>(st, result, window, as_id) : text_result<char>(st, result, window, as_id);
}

void show_window_settled(HWND window, int command) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        ShowWindow(window, command);
        return;
    }
    // Restoring or zooming changes the state flags before the window has
    // moved: wait for the move too, so that a position read next is the new one.
    const bool moves = command == SW_RESTORE ? IsZoomed(window) || IsIconic(window)
                                             : command == SW_MAXIMIZE && !IsZoomed(window);
    RECT before{}, now{};
    GetWindowRect(window, &before);
    ShowWindowAsync(window, command);
    const DWORD start = GetTickCount();
    while (IsWindow(window) && GetTickCount() - start < kSettleMilliseconds) {
        if (reached(window, command) && (!moves || (GetWindowRect(window, &now) && !EqualRect(&now, &before))))
            break;
        Sleep(kSettleStep);
    }
}

void bring_to_front(EngineState* st, HWND window) {
    const int method = st->ic_setting[kForegroundMethodRequest];
    switch (method) {
    case 1: front_by_click(window); break;
    case 2:
        show_window_settled(window, SW_MINIMIZE);
        switch_to(window);
        break;
    case 3: front_without_lock(window); break;
    case 4:
    case 5: front_attached(window); break;
    default:
        if (IsIconic(window)) show_window_settled(window, SW_RESTORE);
        else if (!IsWindowVisible(window)) show_window_settled(window, SW_SHOW);
        SetForegroundWindow(window);
        break;
    }
    // The window server hands the foreground on asynchronously (the X11
    // driver of Wine waits for the focus event): give it a moment, so that
    // the next statement finds the window in front.
    const DWORD start = GetTickCount();
    while (method != 2 && GetForegroundWindow() != window && IsWindow(window) &&
           GetTickCount() - start < kSettleMilliseconds)
        Sleep(kSettleStep);
}

void wait_after_window(EngineState* st) {
    const int32_t delay = st->ic_second_setting[kDelayRequest];
    if (delay > 0) WaitPumping(st, static_cast<uint32_t>(delay));
}
