// Window functions that act on one named window: existence, activation,
// closing, show states, titles, ids, top-most state and the owning program.
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"
#include "lib/window_name.h"
#include "lib/window_ops.h"

namespace {

constexpr UINT kSetTextTimeout = 5000;
constexpr const char* kConsoleClass = "ConsoleWindowClass";

// WinExist(name) -> 1/0
BUILTIN(win_exist) { result->v.integer = named_window(st, args[1]) != nullptr; }

// WinActivate(name) -> 1
BUILTIN(win_activate) {
    HWND window = named_window_or_raise(st, args[1], Err::WinActivateNotFound);
    if (!window) return;
    bring_to_front(st, window);
    result->v.integer = 1;
}

// WinClose(name) -> 1. Posted, so that a program that asks before closing
// does not hold the script.
BUILTIN(win_close) {
    HWND window = named_window_or_raise(st, args[1], Err::WinCloseNotFound);
    if (!window) return;
    PostMessageA(window, WM_CLOSE, 0, 0);
    result->v.integer = 1;
}

void show_named(EngineState* st, const Value& name, Value* result, int command, Err not_found) {
    HWND window = named_window_or_raise(st, name, not_found);
    if (!window) return;
    show_window_settled(window, command);
    result->v.integer = 1;
}

// WinHide(name) -> 1
BUILTIN(win_hide) { show_named(st, args[1], result, SW_HIDE, Err::WinHideNotFound); }
// WinShow(name) -> 1: visible and in its normal size. A hidden window is
// shown first: restoring alone leaves a hidden normal window hidden.
BUILTIN(win_show) {
    HWND window = named_window_or_raise(st, args[1], Err::WinShowNotFound);
    if (!window) return;
    if (!IsWindowVisible(window)) show_window_settled(window, SW_SHOW);
    if (IsIconic(window) || IsZoomed(window)) show_window_settled(window, SW_RESTORE);
    result->v.integer = 1;
}
// WinIconize(name) -> 1
BUILTIN(win_iconize) { show_named(st, args[1], result, SW_MINIMIZE, Err::WinIconizeNotFound); }
// WinZoom(name) -> 1
BUILTIN(win_zoom) { show_named(st, args[1], result, SW_MAXIMIZE, Err::WinZoomNotFound); }

// WinState(name) -> @HIDDEN (-1), @ICON (1), @NORMAL (2), @ZOOMED (3), 0 when no window matches
BUILTIN(win_state) {
    HWND window = named_window(st, args[1]);
    if (!window) result->v.integer = 0;
    else if (!IsWindowVisible(window)) result->v.integer = -1;
    else if (IsIconic(window)) result->v.integer = 1;
    else if (IsZoomed(window)) result->v.integer = 3;
    else result->v.integer = 2;
}

// WinTitle(name, new title) -> 1. With a time limit, as the window's
// program answers the message.
BUILTIN(win_title) {
    HWND window = named_window_or_raise(st, args[1], Err::WinTitleNotFound);
    if (!window) return;
    DWORD_PTR answer = 0;
    const LRESULT sent =
        text_is_wide(args[2]) ? SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg_span<wchar_t>(st, args[2]).p),
                                   SMTO_ABORTIFHUNG, kSetTextTimeout, &answer)
             : SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg_span<char>(st, args[2]).p),
                                   SMTO_ABORTIFHUNG, kSetTextTimeout, &answer);
    result->v.integer = sent != 0 && answer != 0;
}

// WinIdGet(name) -> window id
BUILTIN(win_id_get) {
    HWND window = named_window_or_raise(st, args[1], Err::WinIdGetNotFound);
    if (window) (void)window_text_result(st, result, window, text_is_wide(args[1]), true);
}

// WinGetActive() -> title of the foreground window
BUILTIN(win_get_active) {
    HWND window = GetForegroundWindow();
    if (window) (void)window_text_result(st, result, window, wide, false);
    else (void)set_result<char>(st, result, Span<char>{"", 0});
}

// WinName() -> title of the engine's own window ("" without one)
BUILTIN(win_name) {
    HWND window = st->host_window ? GetAncestor(st->host_window, GA_ROOT) : nullptr;
    if (window) (void)window_text_result(st, result, window, wide, false);
    else (void)set_result<char>(st, result, Span<char>{"", 0});
}

// FindWindow(class name) -> title of the first top-level window of that class, "" when none
BUILTIN(win_find_window) {
    HWND window = FindWindowA(value_text(st, args[1].v), nullptr);
    if (window) (void)window_text_result(st, result, window, false, false);
    else (void)set_result<char>(st, result, Span<char>{"", 0});
}

// WindowOnTop(name, mode) -> 1/0: mode 1 makes the window top-most, 0
// ends that, -1 toggles; 0 when no window matches.
BUILTIN(win_on_top) {
    HWND window = named_window(st, args[1]);
    if (!window) return;
    const bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    const int32_t mode = args[2].v.integer;
    const bool want = mode < 0 ? !topmost : mode != 0;
    result->v.integer = SetWindowPos(window, want ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != 0;
}

// WinExeName(name) -> full path of the program that owns the window
BUILTIN(win_exe_name) {
    HWND window = named_window_or_raise(st, args[1], Err::WinExeNameNotFound);
    if (!window) return;
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    wchar_t path[MAX_PATH * 2] = L"";
    DWORD length = sizeof path / sizeof path[0];
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (!process || !QueryFullProcessImageNameW(process, 0, path, &length)) length = 0;
    if (process) CloseHandle(process);
    if (text_is_wide(args[1])) {
        (void)set_result<wchar_t>(st, result, Span<wchar_t>{path, length});
        return;
    }
    char ansi[MAX_PATH * 2];
    const int n = length ? WideCharToMultiByte(st->code_page, 0, path, static_cast<int>(length), ansi,
                                               sizeof ansi, nullptr, nullptr)
                         : 0;
    (void)set_result<char>(st, result, Span<char>{ansi, n > 0 ? static_cast<size_t>(n) : 0});
}

// WinIsDos(name) -> 1 for a console window, else 0
BUILTIN(win_is_dos) {
    HWND window = named_window_or_raise(st, args[1], Err::WinIsDosNotFound);
    if (!window) return;
    char class_name[64];
    result->v.integer = GetClassNameA(window, class_name, sizeof class_name) > 0 &&
                        lstrcmpA(class_name, kConsoleClass) == 0;
}

// ------------------------------------------------------------------ WinCloseNot

// The windows a closing pass leaves alone: the names' windows, resolved
// once before any window closes.
struct KeepList {
    HWND windows[64];
    int count;
};

// Closes a visible, titled, unowned top-level window of another process
// unless it is kept; the engine's own windows and hidden ones (the desktop
// and shell windows among them) stay.
BOOL CALLBACK close_unless_kept(HWND window, LPARAM data) {
    const auto* keep = reinterpret_cast<const KeepList*>(data);
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == GetCurrentProcessId() || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    wchar_t title[WINDOW_TITLE_CHARS];
    if (GetWindowTextW(window, title, WINDOW_TITLE_CHARS) <= 0 || window_title_skipped(title)) return TRUE;
    for (int i = 0; i < keep->count; ++i) {
        if (keep->windows[i] == window) return TRUE;
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Reads one name of the own argument list and adds its window to `keep`.
bool read_kept_name(EngineState* st, KeepList* keep) {
    Value arg;
    init_value(&arg);
    bool ok = ProcessSubExpression(st, &arg, 0, 0) != 0 && ToUnicode(st, &arg.v);
    if (ok) {
        HWND window = find_window(st, value_wtext(st, arg.v));
        if (window && keep->count < static_cast<int>(sizeof keep->windows / sizeof keep->windows[0]))
            keep->windows[keep->count++] = window;
    }
    release_value(st, &arg);
    return ok;
}

// WinCloseNot(name, ...) -> 1: closes every other top-level window. The
// lexer arrives on "(" and is left on the closing ")".
BUILTIN(win_close_not) {
    KeepList keep{};
    for (int position = 1;; ++position) {
        get_token(st);
        if (st->error) return;
        // Without a name every window would go: an empty list is refused.
        if (position == 1 && token_is(st, KWID_CLOSE)) return (void)raise(st, Err::WrongArgumentCount);
        if (!read_kept_name(st, &keep)) return;
        if (token_is(st, KWID_CLOSE)) break;
        if (!token_is(st, KWID_COMMA))
            return (void)raise_hint(st, Err::WrongArgumentCount, Err::HintMissingParenthesis);
    }
    EnumWindows(close_unless_kept, reinterpret_cast<LPARAM>(&keep));
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kWindowNameBuiltins[] = {
    BUILTIN_ROW("findwindow", win_find_window),
    BUILTIN_ROW("winactivate", win_activate),
    BUILTIN_ROW("winclose", win_close),
    BUILTIN_ROW("winclosenot", win_close_not),
    BUILTIN_ROW("windowontop", win_on_top),
    BUILTIN_ROW("winexename", win_exe_name),
    BUILTIN_ROW("winexist", win_exist),
    BUILTIN_ROW("wingetactive", win_get_active),
    BUILTIN_ROW("winhide", win_hide),
    BUILTIN_ROW("winiconize", win_iconize),
    BUILTIN_ROW("winidget", win_id_get),
    BUILTIN_ROW("winisdos", win_is_dos),
    BUILTIN_ROW("winname", win_name),
    BUILTIN_ROW("winshow", win_show),
    BUILTIN_ROW("winstate", win_state),
    BUILTIN_ROW("wintitle", win_title),
    BUILTIN_ROW("winzoom", win_zoom),
};
constexpr size_t kWindowNameBuiltinCount = sizeof(kWindowNameBuiltins) / sizeof(kWindowNameBuiltins[0]);
