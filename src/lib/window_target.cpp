// Window arguments of the keystroke, menu and mouse functions (see
// window_target.h).
#include "lib/window_target.h"

#include <stdlib.h>
#include <string.h>
#include "base/engine_state.h"
#include "lang/pump.h"

namespace {

// How long bring_to_front waits for the window to come to the front.
constexpr DWORD kFrontWaitMs = 1000;
constexpr uint32_t kFrontPollMs = 20;

constexpr size_t kTitleChars = 512;

// The window-name rules: "abc" a title that begins with abc, "abc~" exactly
// abc, "~abc" contains abc, "~abc~" ends with abc; case-sensitive; a
// one-character name is a plain prefix.
bool title_matches(const char* title, const char* name) {
    const size_t name_length = strlen(name);
    const bool contains = name_length >= 2 && name[0] == '~';
    const bool whole = name_length >= 2 && name[name_length - 1] == '~';
    const char* pattern = contains ? name + 1 : name;
    const size_t length = strlen(pattern) - (whole ? 1 : 0);
    const size_t title_length = strlen(title);
    if (length > title_length) return false;
    if (!contains) return whole ? length == title_length && memcmp(title, pattern, length) == 0
                                : memcmp(title, pattern, length) == 0;
    if (whole) return memcmp(title + title_length - length, pattern, length) == 0;
    for (const char* p = title; p + length <= title + title_length; ++p)
        if (memcmp(p, pattern, length) == 0) return true;
    return false;
}

struct Search {
    const char* name;
    HWND found;
};

BOOL CALLBACK match_top(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    char title[kTitleChars];
    if (GetWindowTextA(window, title, sizeof title) <= 0 || strcmp(title, "WinOldAp") == 0) return TRUE;
    if (!title_matches(title, search->name)) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK match_child(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    char text[kTitleChars];
    if (GetWindowTextA(window, text, sizeof text) > 0 && title_matches(text, search->name)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK match_child_class(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    char name[256];
    if (GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, search->name) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A window id: "#WIN$ID#" and eight hex digits naming an existing window.
HWND window_of_id(const char* name) {
    if (strlen(name) != 16 || memcmp(name, "#WIN$ID#", 8) != 0) return nullptr;
    char* end;
    const unsigned long handle = strtoul(name + 8, &end, 16);
    const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
    return *end == '\0' && IsWindow(window) ? window : nullptr;
}

}  // namespace

HWND find_top_window(EngineState*, const char* name) {
    if (!name[0]) return nullptr;
    if (HWND window = window_of_id(name)) return window;
    Search search{name, nullptr};
    EnumWindows(match_top, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND find_child_window(EngineState*, HWND parent, const char* name) {
    if (!name[0]) return nullptr;
    Search search{name, nullptr};
    EnumChildWindows(parent, match_child, reinterpret_cast<LPARAM>(&search));
    if (!search.found) EnumChildWindows(parent, match_child_class, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void bring_to_front(EngineState* st, HWND window) {
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    const DWORD own = GetCurrentThreadId();
    const HWND front = GetForegroundWindow();
    const DWORD other = front ? GetWindowThreadProcessId(front, nullptr) : own;
    const bool attached = other != own && AttachThreadInput(own, other, TRUE);
    SetForegroundWindow(window);
    if (attached) AttachThreadInput(own, other, FALSE);
    const DWORD start = GetTickCount();
    while (GetForegroundWindow() != window && GetTickCount() - start < kFrontWaitMs && !st->cancel_requested)
        WaitPumping(st, kFrontPollMs);
}

void focus_child(HWND child) {
    const DWORD own = GetCurrentThreadId();
    const DWORD other = GetWindowThreadProcessId(child, nullptr);
    const bool attached = other != own && AttachThreadInput(own, other, TRUE);
    SetFocus(child);
    if (attached) AttachThreadInput(own, other, FALSE);
}
