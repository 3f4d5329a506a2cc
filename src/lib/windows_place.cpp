// Window placement on the virtual 1000 x 1000 screen: WinPlace and
// WinPosition, their child-window forms, the stored normal, iconic and
// zoomed placements, and arranging the top-level windows.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"
#include "lib/window_name.h"
#include "lib/window_ops.h"

namespace {

constexpr int32_t kLowestUnit = -1000;
constexpr int32_t kHighestUnit = 2000;
constexpr int32_t kNoResize = 1000000000;
constexpr int32_t kAboveIcons = 1000000001;
constexpr int32_t kIconState = 1, kNormalState = 2, kZoomedState = 3;
constexpr DWORD kSettleMilliseconds = 5000;

// The area that units are measured on: the screen, or a parent's client area.
struct Area {
    LONG width, height;
};

Area screen_area() { return Area{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

Area client_area(HWND parent) {
    RECT r{};
    GetClientRect(parent, &r);
    return Area{r.right > 0 ? r.right : 1, r.bottom > 0 ? r.bottom : 1};
}

LONG to_pixels(int32_t units, LONG size) {
    if (units < kLowestUnit) units = kLowestUnit;
    if (units > kHighestUnit) units = kHighestUnit;
    return units_to_pixels(units, size);
}

// Rounded to the nearest unit, so that a placement reads back as it was given.
int32_t to_units(LONG pixels, LONG size) {
    if (size <= 0) return 0;
    const int64_t scaled = static_cast<int64_t>(pixels) * VIRTUAL_UNITS;
    return static_cast<int32_t>(scaled >= 0 ? (scaled + size / 2) / size : -((-scaled + size / 2) / size));
}

// The pixel rectangle that x1, y1, x2, y2 (args[first..first+3]) ask for
// on `area`, given the window's current rectangle `now`.
RECT target_rect(const Value* args, int first, Area area, const RECT& now) {
    RECT r;
    r.left = to_pixels(args[first].v.integer, area.width);
    r.top = to_pixels(args[first + 1].v.integer, area.height);
    const int32_t x2 = args[first + 2].v.integer, y2 = args[first + 3].v.integer;
    r.right = x2 == kNoResize ? r.left + (now.right - now.left) : to_pixels(x2, area.width);
    if (y2 == kNoResize) r.bottom = r.top + (now.bottom - now.top);
    else if (y2 == kAboveIcons) r.bottom = area.height - GetSystemMetrics(SM_CYICONSPACING);
    else r.bottom = to_pixels(y2, area.height);
    // A window may not start where too little of it would stay on the screen.
    const LONG last_left = area.width - GetSystemMetrics(SM_CXMIN);
    const LONG last_top = area.height - GetSystemMetrics(SM_CYMIN);
    if (r.left > last_left) r.left = last_left;
    if (r.top > last_top) r.top = last_top;
    return r;
}

// The window's rectangle in the coordinates of `parent` (the screen when null).
RECT rect_in(HWND window, HWND parent) {
    RECT r{};
    if (IsIconic(window)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(window, &placement);
        return placement.rcNormalPosition;
    }
    GetWindowRect(window, &r);
    if (parent) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Moves without waiting on the window's program; a window of another thread
// is then given up to five seconds to arrive.
void move_window(HWND window, HWND parent, const RECT& r) {
    const bool own = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    if (IsIconic(window) || IsZoomed(window)) show_window_settled(window, SW_RESTORE);
    SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (own ? 0 : SWP_ASYNCWINDOWPOS));
    const DWORD start = GetTickCount();
    while (!own && !same_rect(rect_in(window, parent), r) && IsWindow(window) &&
           GetTickCount() - start < kSettleMilliseconds)
        Sleep(10);
}

template <typename C>
void position_result(EngineState* st, Value* result, const RECT& r, Area area) {
    char text[64];
    const int n = snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", static_cast<long>(to_units(r.left, area.width)),
                           static_cast<long>(to_units(r.top, area.height)),
                           static_cast<long>(to_units(r.right, area.width)),
                           static_cast<long>(to_units(r.bottom, area.height)));
    C out[64];
    for (int i = 0; i <= n; ++i) out[i] = static_cast<C>(text[i]);
    (void)set_result<C>(st, result, Span<C>{out, static_cast<size_t>(n)});
}

void position_result(EngineState* st, Value* result, bool wide, const RECT& r, Area area) {
    if (wide) position_result<wchar_t>(st, result, r, area);
    else position_result<char>(st, result, r, area);
}

// WinPlace(x1, y1, x2, y2, name) -> 1
BUILTIN(win_place) {
    HWND window = named_window_or_raise(st, args[5], Err::WinPlaceNotFound);
    if (!window) return;
    move_window(window, nullptr, target_rect(args, 1, screen_area(), rect_in(window, nullptr)));
    result->v.integer = 1;
}

// WinPosition(name) -> "x1,y1,x2,y2" in virtual units
BUILTIN(win_position) {
    HWND window = named_window_or_raise(st, args[1], Err::WinPositionNotFound);
    if (window) position_result(st, result, text_is_wide(args[1]), rect_in(window, nullptr), screen_area());
}

// The child that args[child] names under the window args[parent] names.
HWND named_child(EngineState* st, const Value* args, int parent_arg, Err no_parent, Err no_child,
                 HWND* parent) {
    *parent = named_window_or_raise(st, args[parent_arg], no_parent);
    if (!*parent) return nullptr;
    const Value& name = args[parent_arg + 1];
    HWND child = text_is_wide(name) ? find_child_window(st, *parent, arg_span<wchar_t>(st, name).p)
                      : find_child_window(st, *parent, arg_span<char>(st, name).p);
    if (!child) raise(st, no_child);
    return child;
}

// WinPlaceChild(x1, y1, x2, y2, parent, child) -> 1: units of the parent's client area
BUILTIN(win_place_child) {
    HWND parent;
    HWND child = named_child(st, args, 5, Err::WinPlaceChildParentNotFound, Err::WinPlaceChildChildNotFound,
                             &parent);
    if (!child) return;
    HWND frame = GetParent(child) ? GetParent(child) : parent;
    move_window(child, frame, target_rect(args, 1, client_area(frame), rect_in(child, frame)));
    result->v.integer = 1;
}

// WinPositionChild(parent, child) -> "x1,y1,x2,y2" in units of the parent's client area
BUILTIN(win_position_child) {
    HWND parent;
    HWND child = named_child(st, args, 1, Err::WinPositionChildParentNotFound,
                             Err::WinPositionChildChildNotFound, &parent);
    if (!child) return;
    HWND frame = GetParent(child) ? GetParent(child) : parent;
    position_result(st, result, text_is_wide(args[1]), rect_in(child, frame), client_area(frame));
}

// ------------------------------------------------------------------ stored placements

bool read_placement(HWND window, WINDOWPLACEMENT* placement) {
    placement->length = sizeof *placement;
    return GetWindowPlacement(window, placement) != 0;
}

// WinPlaceGet(type, name) -> "x1 y1 x2 y2" for @NORMAL, "x y" for @ICON and @ZOOMED, in virtual units
BUILTIN(win_place_get) {
    HWND window = named_window_or_raise(st, args[2], Err::WinPlaceGetSetNotFound);
    if (!window) return;
    WINDOWPLACEMENT placement;
    const int32_t type = args[1].v.integer;
    if (!read_placement(window, &placement) || type < kIconState || type > kZoomedState)
        return (void)raise(st, Err::WinPlaceGetSetFailed);
    const Area area = screen_area();
    const POINT& point = type == kIconState ? placement.ptMinPosition : placement.ptMaxPosition;
    const RECT& r = placement.rcNormalPosition;
    char text[64];
    const int n = type == kNormalState
                      ? snprintf(text, sizeof text, "%d %d %d %d", to_units(r.left, area.width),
                                 to_units(r.top, area.height), to_units(r.right, area.width),
                                 to_units(r.bottom, area.height))
                      : snprintf(text, sizeof text, "%d %d", to_units(point.x, area.width),
                                 to_units(point.y, area.height));
    (void)set_result<char>(st, result, Span<char>{text, static_cast<size_t>(n)});
}

// WinPlaceSet(type, name, position) -> 1: the position as WinPlaceGet gives it
BUILTIN(win_place_set) {
    HWND window = named_window_or_raise(st, args[2], Err::WinPlaceGetSetNotFound);
    if (!window) return;
    WINDOWPLACEMENT placement;
    const int32_t type = args[1].v.integer;
    long v[4];
    const int wanted = type == kNormalState ? 4 : 2;
    if (!read_placement(window, &placement) || type < kIconState || type > kZoomedState ||
        sscanf(value_text(st, args[3].v), "%ld %ld %ld %ld", &v[0], &v[1], &v[2], &v[3]) < wanted)
        return (void)raise(st, Err::WinPlaceGetSetFailed);
    const Area area = screen_area();
    if (type == kNormalState) {
        placement.rcNormalPosition = RECT{to_pixels(v[0], area.width), to_pixels(v[1], area.height),
                                          to_pixels(v[2], area.width), to_pixels(v[3], area.height)};
    } else {
        POINT& point = type == kIconState ? placement.ptMinPosition : placement.ptMaxPosition;
        point = POINT{to_pixels(v[0], area.width), to_pixels(v[1], area.height)};
        placement.flags |= type == kIconState ? WPF_SETMINPOSITION : 0;
    }
    // The placement is stored; the window keeps its show state.
    placement.showCmd = IsIconic(window) ? SW_SHOWMINNOACTIVE : IsZoomed(window) ? SW_SHOWMAXIMIZED : SW_SHOWNOACTIVATE;
    if (!IsWindowVisible(window)) placement.showCmd = SW_HIDE;
    // Wine stores no placement for another process's window: a window in
    // its normal state can still be moved there.
    if (!SetWindowPlacement(window, &placement)) {
        if (type != kNormalState || IsIconic(window) || IsZoomed(window))
            return (void)raise(st, Err::WinPlaceGetSetFailed);
        move_window(window, nullptr, placement.rcNormalPosition);
    }
    result->v.integer = 1;
}

// WinArrange(style) -> 1: @STACK cascades, @TILE (@ARRANGE) tiles side by
// side, @ROWS one above another, @COLUMNS side by side; 0 for another style.
BUILTIN(win_arrange) {
    switch (atol(value_text(st, args[1].v))) {
    case 1: result->v.integer = CascadeWindows(nullptr, 0, nullptr, 0, nullptr) != 0; break;
    case 2:
    case 4: result->v.integer = TileWindows(nullptr, MDITILE_VERTICAL, nullptr, 0, nullptr) != 0; break;
    case 3: result->v.integer = TileWindows(nullptr, MDITILE_HORIZONTAL, nullptr, 0, nullptr) != 0; break;
    default: result->v.integer = 0; break;
    }
}

}  // namespace

constexpr BuiltinRow kWindowPlaceBuiltins[] = {
    BUILTIN_ROW("winarrange", win_arrange),
    BUILTIN_ROW("winplace", win_place),
    BUILTIN_ROW("winplacechild", win_place_child),
    BUILTIN_ROW("winplaceget", win_place_get),
    BUILTIN_ROW("winplaceset", win_place_set),
    BUILTIN_ROW("winposition", win_position),
    BUILTIN_ROW("winpositionchild", win_position_child),
};
constexpr size_t kWindowPlaceBuiltinCount = sizeof(kWindowPlaceBuiltins) / sizeof(kWindowPlaceBuiltins[0]);
