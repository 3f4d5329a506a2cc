// Mouse built-in functions: clicks at the cursor, moving the cursor and
// replaying paths on the 1000 x 1000 virtual screen, optionally relative
// to a window found by name, and asking what lies under the cursor.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/key_inject.h"
#include "lib/path_text.h"
#include "lib/window_name.h"
#include "lib/window_ops.h"
#include "lib/window_target.h"
#include <stdlib.h>

namespace {

// MouseClick's modifiers (the @CTRL, @SHIFT and @xBUTTON constants).
constexpr int32_t kClickCtrl = 1;
constexpr int32_t kClickShift = 2;
constexpr int32_t kClickLeft = 4;
constexpr int32_t kClickRight = 8;
constexpr int32_t kClickMiddle = 16;

// The pause between button down and up of an injected click: the time a
// key is held, IntControl 35's second value.
constexpr int kClickDelayRequest = 35;

// How long a window may take to answer the hit-test and activation
// messages before the click goes ahead without the answer.
constexpr UINT kAnswerTimeoutMs = 1000;

// One mouse button: its injected-input flags, its client-area messages
// and its MK_ bit.
struct MouseButton {
    DWORD input_down, input_up;
    UINT down;  // WM_xBUTTONDOWN; up, double click are the next two
    WPARAM mk;
};
constexpr MouseButton kLeft = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONDOWN, MK_LBUTTON};
constexpr MouseButton kRight = {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, WM_RBUTTONDOWN, MK_RBUTTON};
constexpr MouseButton kMiddle = {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, WM_MBUTTONDOWN, MK_MBUTTON};

// The non-client form of a client-area button message.
constexpr UINT kNonClientOffset = WM_LBUTTONDOWN - WM_NCLBUTTONDOWN;

// A click type is the message of the click: xBUTTONDOWN for a single
// click, xBUTTONDBLCLK for a double one.
bool click_button(int32_t type, const MouseButton** button, bool* twice) {
    const MouseButton* buttons[] = {&kLeft, &kRight, &kMiddle};
    for (const MouseButton* b : buttons) {
        if (type == static_cast<int32_t>(b->down) || type == static_cast<int32_t>(b->down + 2)) {
            *button = b;
            *twice = type != static_cast<int32_t>(b->down);
            return true;
        }
    }
    return false;
}

void inject_mouse(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// The buttons named by the @xBUTTON modifiers, held around a click.
struct ExtraButtons {
    const MouseButton* held[3];
    int count = 0;
    WPARAM mk = 0;
    explicit ExtraButtons(int32_t modifiers) {
        if (modifiers & kClickLeft) add(&kLeft);
        if (modifiers & kClickRight) add(&kRight);
        if (modifiers & kClickMiddle) add(&kMiddle);
    }
    void add(const MouseButton* b) {
        held[count++] = b;
        mk |= b->mk;
    }
};

void press_click_keys(EngineState* st, int32_t modifiers, bool up) {
    if (modifiers & kClickCtrl) inject_key_event(st, VK_CONTROL, up);
    if (modifiers & kClickShift) inject_key_event(st, VK_SHIFT, up);
}

// A single click as real input at the cursor.
void inject_click(EngineState* st, const MouseButton& button, int32_t modifiers) {
    const ExtraButtons extra(modifiers);
    press_click_keys(st, modifiers, false);
    for (int i = 0; i < extra.count; ++i) inject_mouse(extra.held[i]->input_down);
    inject_mouse(button.input_down);
    PumpMessages(st);
    const int32_t delay = st->ic_second_setting[kClickDelayRequest];
    if (delay > 0) WaitPumping(st, static_cast<uint32_t>(delay));
    inject_mouse(button.input_up);
    for (int i = extra.count - 1; i >= 0; --i) inject_mouse(extra.held[i]->input_up);
    PumpMessages(st);
    press_click_keys(st, modifiers, true);
}

// A double click posted to `window`: down, up, double click, up; over a
// non-client part the non-client forms with the hit-test code and screen
// coordinates.
void post_double_click(HWND window, const MouseButton& button, int32_t modifiers, POINT at, LRESULT hit) {
    if (hit != HTCLIENT) {
        const UINT down = button.down - kNonClientOffset;
        const LPARAM where = MAKELPARAM(at.x, at.y);
        const UINT sequence[] = {down, down + 1, down + 2, down + 1};
        for (UINT message : sequence) PostMessageA(window, message, static_cast<WPARAM>(hit), where);
        return;
    }
    WPARAM keys = ExtraButtons(modifiers).mk;
    if (modifiers & kClickCtrl) keys |= MK_CONTROL;
    if (modifiers & kClickShift) keys |= MK_SHIFT;
    ScreenToClient(window, &at);
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageA(window, button.down, keys | button.mk, where);
    PostMessageA(window, button.down + 1, keys, where);
    PostMessageA(window, button.down + 2, keys | button.mk, where);
    PostMessageA(window, button.down + 1, keys, where);
}

LRESULT ask_window(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer);
    return static_cast<LRESULT>(answer);
}

// ------------------------------------------------------------------ virtual units

int32_t screen_width() { return GetSystemMetrics(SM_CXSCREEN); }
int32_t screen_height() { return GetSystemMetrics(SM_CYSCREEN); }

int32_t to_virtual(int32_t pixels, int32_t size) {
    return size > 0 ? static_cast<int32_t>(static_cast<int64_t>(pixels) * VIRTUAL_UNITS / size) : 0;
}

bool set_text_result(EngineState* st, Value* result, const char* text) {
    return set_value_text(st, &result->v, text, strlen(text));
}

// ------------------------------------------------------------------ MouseInfo

// MouseInfo's requests.
enum MouseInfoRequest {
    kInfoTopTitle = 0,     // title of the top-level window under the cursor
    kInfoWindowTitle = 1,  // title of the (child) window under the cursor
    kInfoVirtual = 2,      // "x y": the cursor in virtual units
    kInfoPixels = 3,       // "x y": the cursor in pixels
    kInfoButtons = 4,      // buttons held: @LBUTTON 4, @RBUTTON 8, @MBUTTON 16
    kInfoTopRect = 5,      // "x1 y1 x2 y2": the top-level window in virtual units
    kInfoTopId = 6,        // the window id of the top-level window
    kInfoClass = 7,        // class name of the window under the cursor
};

// The window under the cursor; null over the bare desktop.
HWND window_under_cursor(POINT* at) {
    GetCursorPos(at);
    const HWND window = WindowFromPoint(*at);
    return window == GetDesktopWindow() ? nullptr : window;
}

void virtual_rect_text(const RECT& r, char* text, size_t size) {
    const int32_t cx = screen_width(), cy = screen_height();
    snprintf(text, size, "%ld %ld %ld %ld", static_cast<long>(to_virtual(r.left, cx)),
             static_cast<long>(to_virtual(r.top, cy)), static_cast<long>(to_virtual(r.right, cx)),
             static_cast<long>(to_virtual(r.bottom, cy)));
}

// The text of request `request` about what lies under the cursor; false
// for a request that does not exist.
bool mouse_info_text(int32_t request, char* text, size_t size) {
    POINT at;
    const HWND window = window_under_cursor(&at);
    const HWND top = window ? GetAncestor(window, GA_ROOT) : nullptr;
    text[0] = '\0';
    switch (request) {
    case kInfoTopTitle:
        if (top) GetWindowTextA(top, text, static_cast<int>(size));
        return true;
    case kInfoWindowTitle:
        if (window) GetWindowTextA(window, text, static_cast<int>(size));
        return true;
    case kInfoVirtual:
        snprintf(text, size, "%ld %ld", static_cast<long>(to_virtual(at.x, screen_width())),
                 static_cast<long>(to_virtual(at.y, screen_height())));
        return true;
    case kInfoPixels:
        snprintf(text, size, "%ld %ld", static_cast<long>(at.x), static_cast<long>(at.y));
        return true;
    case kInfoButtons: {
        const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
        int32_t held = 0;
        if (GetAsyncKeyState(swapped ? VK_RBUTTON : VK_LBUTTON) & 0x8000) held |= kClickLeft;
        if (GetAsyncKeyState(swapped ? VK_LBUTTON : VK_RBUTTON) & 0x8000) held |= kClickRight;
        if (GetAsyncKeyState(VK_MBUTTON) & 0x8000) held |= kClickMiddle;
        snprintf(text, size, "%ld", static_cast<long>(held));
        return true;
    }
    case kInfoTopRect: {
        RECT r = {};
        if (top && GetWindowRect(top, &r)) virtual_rect_text(r, text, size);
        return true;
    }
    case kInfoTopId:
        if (top) snprintf(text, size, "#WIN$ID#%08lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(top)));
        return true;
    case kInfoClass:
        if (window) GetClassNameA(window, text, static_cast<int>(size));
        return true;
    }
    return false;
}

// ------------------------------------------------------------------ windows by name

// The window that a parent and a child name give: none (the screen) when
// both are empty.
bool mouse_window(EngineState* st, const char* parent, const char* child, HWND* out) {
    *out = nullptr;
    if (!parent[0]) return !child[0] || raise(st, Err::MouseChildWithoutParent);
    *out = find_window(st, parent);
    if (!*out) return raise(st, Err::MouseParentNotFound);
    if (!child[0]) return true;
    *out = find_target_child(st, *out, child);
    return *out || raise(st, Err::MouseChildNotFound);
}

bool mouse_window_args(EngineState* st, const Value* args, int first, HWND* out) {
    return mouse_window(st, value_text(st, args[first].v), value_text(st, args[first + 1].v), out);
}

// A point in virtual units, relative to the top-left corner of `window`
// (of the screen when null), in screen pixels.
POINT virtual_point(HWND window, int32_t x, int32_t y) {
    RECT r = {};
    if (window) GetWindowRect(window, &r);
    return POINT{r.left + units_to_pixels(x, screen_width()), r.top + units_to_pixels(y, screen_height())};
}

// ------------------------------------------------------------------ buttons

// A caption without its "&" marks.
void plain_caption(const char* text, char* out, size_t size) {
    size_t n = 0;
    for (; *text && n + 1 < size; ++text) {
        if (*text == '&' && text[1] != '&') continue;
        out[n++] = *text;
        if (*text == '&') ++text;
    }
    out[n] = '\0';
}

struct ButtonSearch {
    char caption[256];
    HWND found;
};

BOOL CALLBACK match_button(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ButtonSearch*>(context);
    char name[32], text[256], plain[256];
    if (!GetClassNameA(window, name, sizeof name) || lstrcmpiA(name, "Button") != 0) return TRUE;
    GetWindowTextA(window, text, sizeof text);
    plain_caption(text, plain, sizeof plain);
    if (lstrcmpiA(plain, search->caption) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// The first button among the descendants of `window` with that caption.
HWND find_button(HWND window, const char* caption) {
    ButtonSearch search;
    plain_caption(caption, search.caption, sizeof search.caption);
    search.found = nullptr;
    EnumChildWindows(window, match_button, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// ------------------------------------------------------------------ MousePlay

// MousePlay's buttons: held while moving, and clicked at the end.
constexpr int32_t kPlayHoldLeft = 4;
constexpr int32_t kPlayHoldRight = 8;
constexpr int32_t kPlayHoldMiddle = 16;
struct PlayClick {
    int32_t bit;
    const MouseButton* button;
    int times;
};
constexpr PlayClick kPlayClicks[] = {
    {32, &kLeft, 1}, {64, &kLeft, 2}, {128, &kMiddle, 1}, {256, &kMiddle, 2}, {512, &kRight, 1}, {1024, &kRight, 2},
};

// The longest path time, in seconds, and how often the cursor moves on it.
constexpr double kLongestPlaySeconds = 3600;
constexpr uint32_t kPlayStepMs = 20;

// "x y" (or "x,y") in virtual units; false unless both are whole numbers.
bool parse_pair(const char* text, int32_t* x, int32_t* y) {
    char* end;
    const long a = strtol(text, &end, 10);
    if (end == text) return false;
    while (*end == ' ' || *end == ',') ++end;
    const char* second = end;
    const long b = strtol(second, &end, 10);
    if (end == second) return false;
    while (*end == ' ') ++end;
    if (*end) return false;
    *x = static_cast<int32_t>(a);
    *y = static_cast<int32_t>(b);
    return true;
}

void hold_buttons(int32_t buttons, bool up) {
    if (buttons & kPlayHoldLeft) inject_mouse(up ? kLeft.input_up : kLeft.input_down);
    if (buttons & kPlayHoldRight) inject_mouse(up ? kRight.input_up : kRight.input_down);
    if (buttons & kPlayHoldMiddle) inject_mouse(up ? kMiddle.input_up : kMiddle.input_down);
}

// Moves the cursor from where it is to `to` in steps spread over
// `milliseconds` (at least two steps).
bool move_along(EngineState* st, POINT to, uint32_t milliseconds) {
    POINT from;
    GetCursorPos(&from);
    uint32_t steps = milliseconds / kPlayStepMs;
    if (steps < 2) steps = 2;
    for (uint32_t i = 1; i <= steps && !st->cancel_requested; ++i) {
        const int32_t x = from.x + static_cast<int32_t>((static_cast<int64_t>(to.x) - from.x) * i / steps);
        const int32_t y = from.y + static_cast<int32_t>((static_cast<int64_t>(to.y) - from.y) * i / steps);
        if (!SetCursorPos(x, y)) return raise(st, Err::MousePlayFailed);
        WaitPumping(st, milliseconds / steps);
    }
    return true;
}

// ------------------------------------------------------------------ handlers

// MouseClick(type, modifiers): clicks at the cursor
BUILTIN(mouse_click) {
    const MouseButton* button;
    bool twice;
    if (!click_button(args[1].v.integer, &button, &twice)) return (void)raise(st, Err::MouseBadClickType);
    const int32_t modifiers = args[2].v.integer;
    POINT at;
    const HWND window = window_under_cursor(&at);
    if (!window) return (void)raise(st, Err::MouseWindowUnknown);
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)
        ask_window(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(GetAncestor(window, GA_ROOT)),
                   MAKELPARAM(HTCLIENT, button->down));
    const LRESULT hit = ask_window(window, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    if (twice) {
        post_double_click(window, *button, modifiers, at, hit);
        PumpMessages(st);
    } else {
        inject_click(st, *button, modifiers);
    }
    set_int_result(result, 1);
}

// MouseMove(x, y, parent, child): the cursor to a point in virtual units,
// relative to the window when one is named
BUILTIN(mouse_move) {
    HWND window;
    if (!mouse_window_args(st, args, 3, &window)) return;
    const POINT to = virtual_point(window, args[1].v.integer, args[2].v.integer);
    SetCursorPos(to.x, to.y);
    PumpMessages(st);
    set_int_result(result, 1);
}

// MousePlay("x y", parent, child, buttons, seconds): moves the cursor along
// a straight path over the time given, holding the @MPLAYxBUTTON buttons,
// then clicks as the @MPLAYxCLK and @MPLAYxDBLCK bits ask
BUILTIN(mouse_play) {
    int32_t x, y;
    if (!parse_pair(value_text(st, args[1].v), &x, &y)) return (void)raise(st, Err::MousePlayBadCoords);
    const double seconds = args[5].v.real;
    if (!(seconds >= 0 && seconds <= kLongestPlaySeconds)) return (void)raise(st, Err::MousePlayBadDelay);
    HWND window;
    if (!mouse_window_args(st, args, 2, &window)) return;
    const int32_t buttons = args[4].v.integer;
    hold_buttons(buttons, false);
    const bool moved = move_along(st, virtual_point(window, x, y), static_cast<uint32_t>(seconds * 1000));
    hold_buttons(buttons, true);
    if (!moved) return;
    for (const PlayClick& click : kPlayClicks)
        for (int i = 0; (buttons & click.bit) && i < click.times; ++i) inject_click(st, *click.button, 0);
    set_int_result(result, 1);
}

// MouseCoords(parent, child) -> "x1 y1 x2 y2": the window's rectangle (the
// screen's when no window is named) in virtual units
BUILTIN(mouse_coords) {
    HWND window;
    if (!mouse_window_args(st, args, 1, &window)) return;
    RECT r;
    if (!GetWindowRect(window ? window : GetDesktopWindow(), &r)) return (void)raise(st, Err::MouseCoordsFailed);
    char text[64];
    virtual_rect_text(r, text, sizeof text);
    (void)set_text_result(st, result, text);
}

// MouseClickBtn(parent, child, caption): clicks the push button with that
// caption ("&" marks and case ignored) inside the window
BUILTIN(mouse_click_button) {
    HWND window;
    if (!mouse_window_args(st, args, 1, &window)) return;
    if (!window) return (void)raise(st, Err::MouseParentNotFound);
    const HWND button = find_button(window, value_text(st, args[3].v));
    if (!button) return (void)raise(st, Err::MouseClickBtnNotFound);
    bring_to_front(st, GetAncestor(window, GA_ROOT));
    ask_window(button, BM_CLICK, 0, 0);
    PumpMessages(st);
    set_int_result(result, 1);
}

// MouseInfo(request) -> text about the cursor and the window under it
BUILTIN(mouse_info) {
    char text[LINE_BUFFER_BYTES];
    if (!mouse_info_text(args[1].v.integer, text, sizeof text)) return (void)raise(st, Err::MouseInfoBadRequest);
    (void)set_text_result(st, result, text);
}

}  // namespace

constexpr BuiltinRow kMouseBuiltins[] = {
    BUILTIN_ROW("mouseclick", mouse_click),
    BUILTIN_ROW("mouseclickbtn", mouse_click_button),
    BUILTIN_ROW("mousecoords", mouse_coords),
    BUILTIN_ROW("mouseinfo", mouse_info),
    BUILTIN_ROW("mousemove", mouse_move),
    BUILTIN_ROW("mouseplay", mouse_play),
};
constexpr size_t kMouseBuiltinCount = sizeof(kMouseBuiltins) / sizeof(kMouseBuiltins[0]);
