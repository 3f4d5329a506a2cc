// Window names and window ids: matching a name against titles, resolving a
// name to a top-level or child window, and making the id text of a handle.
#include "lib/window_name.h"

#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/message_box.h"
#include "base/messages.h"
#include "base/error_numbers.h"
#include "lib/text_ops.h"

namespace {

constexpr char kIdPrefix[] = "#WIN$ID#";
constexpr size_t kIdPrefixChars = 8;
constexpr int kNameModeRequest = 46;

int window_text(HWND window, char* buffer, int size) { return GetWindowTextA(window, buffer, size); }
int window_text(HWND window, wchar_t* buffer, int size) { return GetWindowTextW(window, buffer, size); }

template <typename C>
size_t length_of(const C* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

template <typename C>
HWND id_window(const C* name) {
    if (length_of(name) != WINDOW_ID_CHARS) return nullptr;
    for (size_t i = 0; i < kIdPrefixChars; ++i) {
        if (name[i] != static_cast<C>(kIdPrefix[i])) return nullptr;
    }
    uintptr_t handle = 0;
    for (size_t i = kIdPrefixChars; i < WINDOW_ID_CHARS; ++i) {
        const C c = name[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else return nullptr;
        handle = handle << 4 | static_cast<uintptr_t>(digit);
    }
    HWND window = reinterpret_cast<HWND>(handle);
    return handle && IsWindow(window) ? window : nullptr;
}

template <typename C>
bool same_units(const C* a, const C* b, size_t n, bool ignore_case) {
    if (!ignore_case) return memcmp(a, b, n * sizeof(C)) == 0;
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i] && !same_char_nc(a + i, b + i, 1)) return false;
    }
    return true;
}

template <typename C>
bool title_matches(const C* title, size_t title_length, const C* name, size_t name_length, bool ignore_case) {
    const bool contains = name_length >= 2 && name[0] == '~';
    const bool to_end = name_length >= 2 && name[name_length - 1] == '~';
    const C* pattern = name + (contains ? 1 : 0);
    const size_t pattern_length = name_length - (contains ? 1 : 0) - (to_end ? 1 : 0);
    if (pattern_length > title_length) return false;
    if (contains) {
        if (to_end) return same_units(title + title_length - pattern_length, pattern, pattern_length, ignore_case);
        for (size_t at = 0; at + pattern_length <= title_length; ++at) {
            if (same_units(title + at, pattern, pattern_length, ignore_case)) return true;
        }
        return false;
    }
    if (to_end && pattern_length != title_length) return false;
    return same_units(title, pattern, pattern_length, ignore_case);
}

template <typename C>
bool title_skipped(const C* title) {
    if (!title[0]) return true;
    const char* skipped = "WinOldAp";
    size_t i = 0;
    for (; skipped[i]; ++i) {
        if (title[i] != static_cast<C>(skipped[i])) return false;
    }
    return title[i] == 0;
}

// One search: the name, its length and mode, and the window found.
template <typename C>
struct Search {
    const C* name;
    size_t name_length;
    bool ignore_case;
    HWND found;
};

template <typename C>
BOOL CALLBACK visit_window(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search<C>*>(data);
    C title[WINDOW_TITLE_CHARS];
    const int length = window_text(window, title, static_cast<int>(WINDOW_TITLE_CHARS));
    if (length <= 0) return TRUE;
    title[length] = 0;
    if (title_skipped(title)) return TRUE;
    if (!title_matches(title, static_cast<size_t>(length), search->name, search->name_length, search->ignore_case))
        return TRUE;
    search->found = window;
    return FALSE;
}

template <typename C>
Search<C> search_for(const EngineState* st, const C* name) {
    return Search<C>{name, length_of(name), st->ic_setting[kNameModeRequest] != 0, nullptr};
}

template <typename C>
HWND find_top(const EngineState* st, const C* name) {
    if (HWND window = id_window(name)) return window;
    Search<C> search = search_for(st, name);
    EnumWindows(visit_window<C>, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename C>
HWND find_child(const EngineState* st, HWND parent, const C* name) {
    if (HWND window = id_window(name)) return IsChild(parent, window) ? window : nullptr;
    Search<C> search = search_for(st, name);
    EnumChildWindows(parent, visit_window<C>, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename C>
bool id_text(EngineState* st, HWND window, C (&out)[WINDOW_ID_CHARS + 1]) {
    const uintptr_t handle = reinterpret_cast<uintptr_t>(window);
    if (handle > 0xFFFFFFFFu) {
        char text[128], caption[64];
        message_text(st, static_cast<int>(Err::WinIdConvertFailed), text, sizeof text);
        message_text(st, static_cast<int>(Err::EngineInternalError), caption, sizeof caption);
        MessageOrLog(st, st->owner_window, text, caption, MB_OK | MB_ICONSTOP);
        return false;
    }
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < kIdPrefixChars; ++i) out[i] = static_cast<C>(kIdPrefix[i]);
    for (size_t i = 0; i < 8; ++i) out[kIdPrefixChars + i] = static_cast<C>(kHex[(handle >> (28 - 4 * i)) & 15]);
    out[WINDOW_ID_CHARS] = 0;
    return true;
}

}  // namespace

HWND window_from_id(const char* name) { return id_window(name); }
HWND window_from_id(const wchar_t* name) { return id_window(name); }

bool window_title_matches(const char* title, size_t title_length, const char* name, size_t name_length,
                          bool ignore_case) {
    return title_matches(title, title_length, name, name_length, ignore_case);
}
bool window_title_matches(const wchar_t* title, size_t title_length, const wchar_t* name, size_t name_length,
                          bool ignore_case) {
    return title_matches(title, title_length, name, name_length, ignore_case);
}

bool window_title_skipped(const char* title) { return title_skipped(title); }
bool window_title_skipped(const wchar_t* title) { return title_skipped(title); }

HWND find_window(const EngineState* st, const char* name) { return find_top(st, name); }
HWND find_window(const EngineState* st, const wchar_t* name) { return find_top(st, name); }

HWND find_child_window(const EngineState* st, HWND parent, const char* name) { return find_child(st, parent, name); }
HWND find_child_window(const EngineState* st, HWND parent, const wchar_t* name) {
    return find_child(st, parent, name);
}

bool window_id_text(EngineState* st, HWND window, char (&out)[WINDOW_ID_CHARS + 1]) {
    return id_text(st, window, out);
}
bool window_id_text(EngineState* st, HWND window, wchar_t (&out)[WINDOW_ID_CHARS + 1]) {
    return id_text(st, window, out);
}
