// Display: a message that stays on the screen for some seconds without
// waiting for an answer. In silent mode it goes to the log instead and the
// script goes on at once.
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "base/window_classes.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/path_text.h"

namespace {

constexpr int kTextWidth = 360;
constexpr int kMargin = 16;
// The wait looks this often whether the user closed the window.
constexpr uint32_t kPollMilliseconds = 100;

// The window: a captioned, top-most popup holding the text in a static
// control sized to it, centred on the screen. Its close box ends the
// display early.
HWND create_display(const wchar_t* title, const wchar_t* text) {
    // The engine registers its window classes only when a window is first needed.
    if (!ensure_window_classes()) return nullptr;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT box = {0, 0, kTextWidth, 0};
    DrawTextW(dc, text, -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, kTextWidth + 2 * kMargin, box.bottom + 2 * kMargin};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND window = CreateWindowExW(WS_EX_TOPMOST, CLASS_NOTIFY_WIDE, title, style, x, y, width, height, nullptr,
                                  nullptr, engine_module(), nullptr);
    if (!window) return nullptr;
    HWND label = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | SS_CENTER, kMargin, kMargin,
                                 kTextWidth, box.bottom, window, nullptr, engine_module(), nullptr);
    if (label) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

// The log entry of silent mode, in the engine's code page.
void log_display(EngineState* st, const wchar_t* title, const wchar_t* text) {
    char ansi_title[LINE_BUFFER_BYTES], ansi_text[LINE_BUFFER_BYTES];
    WideCharToMultiByte(st->code_page, 0, title, -1, ansi_title, sizeof ansi_title, nullptr, nullptr);
    WideCharToMultiByte(st->code_page, 0, text, -1, ansi_text, sizeof ansi_text, nullptr, nullptr);
    ansi_title[LINE_BUFFER_BYTES - 1] = ansi_text[LINE_BUFFER_BYTES - 1] = 0;
    (void)MessageOrLog(st, nullptr, ansi_text, ansi_title, MB_OK);
}

void show_for(EngineState* st, int32_t seconds, const wchar_t* title, const wchar_t* text) {
    if (st->silent) return log_display(st, title, text);
    if (seconds <= 0) return;
    HWND window = create_display(title, text);
    if (!window) return;
    const DWORD start = GetTickCount();
    const DWORD length = static_cast<DWORD>(seconds) * 1000u;
    for (DWORD elapsed = 0; elapsed < length && IsWindow(window) && !st->cancel_requested;
         elapsed = GetTickCount() - start)
        WaitPumping(st, length - elapsed < kPollMilliseconds ? length - elapsed : kPollMilliseconds);
    if (IsWindow(window)) DestroyWindow(window);
}

// Display(seconds, title, text) -> 1
BUILTIN(display_message) {
    wchar_t* title = nullptr;
    wchar_t* text = nullptr;
    size_t units = 0;
    if (arg_wide(st, args[2], &title, &units) && arg_wide(st, args[3], &text, &units)) {
        show_for(st, args[1].v.integer, title, text);
        result->v.integer = 1;
    }
    if (title) HeapFree(GetProcessHeap(), 0, title);
    if (text) HeapFree(GetProcessHeap(), 0, text);
}

}  // namespace

constexpr BuiltinRow kDisplayBuiltins[] = {
    BUILTIN_ROW("display", display_message),
};
constexpr size_t kDisplayBuiltinCount = sizeof(kDisplayBuiltins) / sizeof(kDisplayBuiltins[0]);
