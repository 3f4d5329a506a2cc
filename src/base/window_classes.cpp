// Registration of the engine's window classes and the default-window measurement.
#include "base/window_classes.h"

#include "base/engine_state.h"

namespace {

// The notification, dialog and control-host windows get their behaviour from
// the subsystems that create them; until then they act as plain windows.
LRESULT CALLBACK notify_window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, msg, wp, lp);
}
LRESULT CALLBACK dialog_window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, msg, wp, lp);
}
LRESULT CALLBACK control_host_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(w, msg, wp, lp);
}

// Registration that tolerates a class left by an earlier initialisation.
bool registered(ATOM atom) { return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS; }

bool register_ansi(const char* name, WNDPROC proc, int extra, HCURSOR cursor, HBRUSH brush) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra;
    wc.hInstance = engine_module();
    wc.hCursor = cursor;
    wc.hbrBackground = brush;
    wc.lpszClassName = name;
    // Windows 9x does not set the error code on a repeated registration.
    if (g_os.is_9x) SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return registered(RegisterClassA(&wc));
}

bool register_control_host() {
    if (!g_os.is_nt) return register_ansi(CLASS_CONTROL_HOST, control_host_proc, 0, nullptr, nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = control_host_proc;
    wc.hInstance = engine_module();
    wc.lpszClassName = L"tq0wcdl3";
    return registered(RegisterClassW(&wc));
}

}  // namespace

bool ensure_window_classes() {
    static bool registered_all = false;
    if (registered_all) return true;
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    registered_all =
        register_ansi(CLASS_NOTIFY, notify_window_proc, 8, nullptr, nullptr) &&
        register_ansi(CLASS_DIALOG, dialog_window_proc, 38, arrow, (HBRUSH)(COLOR_BTNFACE + 1)) &&
        register_ansi(CLASS_DIALOG2, dialog_window_proc, 0, arrow, nullptr) && register_control_host();
    return registered_all;
}

int measure_default_window_bottom() {
    if (!ensure_window_classes()) return 0;
    HWND w = CreateWindowA(CLASS_NOTIFY, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, engine_module(), nullptr);
    if (!w) return 0;
    RECT r = {};
    GetWindowRect(w, &r);
    DestroyWindow(w);
    return r.bottom;
}
