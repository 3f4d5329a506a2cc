// qob_testwin TITLE LOGFILE: a small window for the keystroke and mouse
// script tests. It has a menu (File > Clear, Edit > Upper), a push button
// "Press me" and an edit control, and appends what it receives to LOGFILE,
// one line each, so that a script can read it back:
//   the edit text after every change, "menu:Clear", "menu:Upper",
//   "button", "click:X,Y" and "dblclick:X,Y" (client coordinates),
//   "rclick:X,Y", and "ready" once the window is shown with the focus in
//   the edit control; keys that leave no text in the edit control as
//   "key:enter" or "key:enter-ext" (the keypad Enter) and the Shift keys
//   as "key:shift-left" or "key:shift-right".
// The file is opened for each line and closed again, so a script may
// delete it between steps.
#include <windows.h>
#include <stdio.h>
#include <string.h>

namespace {

constexpr int kMenuClear = 101;
constexpr int kMenuUpper = 102;
constexpr int kButton = 201;
constexpr int kEdit = 202;

const char* g_log = nullptr;
HWND g_edit = nullptr;
WNDPROC g_edit_proc = nullptr;

// The scan code of the right Shift key; the left one has another.
constexpr UINT kRightShiftScan = 0x36;

// The script polls the log, and a look that opens it without letting
// writers in (FileExist does) would otherwise cost a line: wait it out.
HANDLE open_log() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE file = CreateFileA(g_log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) return file;
        Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

void log_line(const char* text) {
    HANDLE file = open_log();
    if (file == INVALID_HANDLE_VALUE) return;
    // One write per line, so that a reader never sees half a line.
    char line[1100];
    const int length = snprintf(line, sizeof line, "%s\r\n", text);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

void log_point(const char* what, LPARAM lparam) {
    char text[64];
    snprintf(text, sizeof text, "%s:%d,%d", what, static_cast<short>(LOWORD(lparam)),
             static_cast<short>(HIWORD(lparam)));
    log_line(text);
}

void log_edit_text() {
    char text[1024];
    GetWindowTextA(g_edit, text, sizeof text);
    log_line(text);
}

// The edit control's own procedure, after noting the keys that change no text.
LRESULT CALLBACK edit_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_KEYDOWN && wparam == VK_RETURN)
        log_line(lparam & (1 << 24) ? "key:enter-ext" : "key:enter");
    if (message == WM_KEYDOWN && wparam == VK_SHIFT && !(lparam & (1 << 30)))
        log_line(((lparam >> 16) & 0xFF) == kRightShiftScan ? "key:shift-right" : "key:shift-left");
    return CallWindowProcA(g_edit_proc, window, message, wparam, lparam);
}

HMENU make_menu() {
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kMenuClear, "&Clear");
    HMENU edit = CreatePopupMenu();
    AppendMenuA(edit, MF_STRING, kMenuUpper, "&Upper\tCtrl+U");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
    return bar;
}

void on_command(WPARAM wparam) {
    switch (LOWORD(wparam)) {
    case kMenuClear:
        log_line("menu:Clear");
        SetWindowTextA(g_edit, "");
        break;
    case kMenuUpper: {
        log_line("menu:Upper");
        char text[1024];
        GetWindowTextA(g_edit, text, sizeof text);
        CharUpperA(text);
        SetWindowTextA(g_edit, text);
        break;
    }
    case kButton:
        if (HIWORD(wparam) == BN_CLICKED) log_line("button");
        break;
    case kEdit:
        if (HIWORD(wparam) == EN_CHANGE) log_edit_text();
        break;
    }
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        CreateWindowExA(0, "BUTTON", "Press me", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 100, 30,
                        window, reinterpret_cast<HMENU>(kButton), nullptr, nullptr);
        g_edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                 10, 50, 300, 24, window, reinterpret_cast<HMENU>(kEdit), nullptr, nullptr);
        g_edit_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(edit_proc)));
        return 0;
    case WM_COMMAND:
        on_command(wparam);
        return 0;
    case WM_LBUTTONDOWN:
        log_point("click", lparam);
        return 0;
    case WM_LBUTTONDBLCLK:
        log_point("dblclick", lparam);
        return 0;
    case WM_RBUTTONDOWN:
        log_point("rclick", lparam);
        return 0;
    case WM_SETFOCUS:
        SetFocus(g_edit);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: qob_testwin TITLE LOGFILE\n");
        return 2;
    }
    g_log = argv[2];
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "QobTestWindow";
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowExA(0, wc.lpszClassName, argv[1], WS_OVERLAPPEDWINDOW, 100, 100, 400, 300,
                                  nullptr, make_menu(), wc.hInstance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(g_edit);
    // Activation settles through messages: keys typed before the edit box
    // really has the focus would reach the frame and be lost, so "ready"
    // waits for it (at most five seconds).
    MSG msg;
    const DWORD start = GetTickCount();
    while ((GetForegroundWindow() != window || GetFocus() != g_edit) && GetTickCount() - start < 5000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    log_line("ready");
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
