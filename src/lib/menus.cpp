// SendMenusTo and SendMenusToEx: choosing an item of another window's menu
// by the names on its path, as if the user had picked it.
#include <windows.h>
#include <ctype.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/path_text.h"
#include "lib/window_name.h"
#include "lib/window_target.h"

namespace {

constexpr size_t kItemChars = 256;

// How long SendMenusToEx's wait form lets the window take over the command.
constexpr UINT kCommandTimeoutMs = 5000;

// An item's name as a path names it: without "&" marks, without the
// accelerator text after a tab, without a trailing "..." and, when
// `squeeze` is set, without spaces.
size_t item_name(HMENU menu, int position, bool squeeze, char* out) {
    char text[kItemChars];
    if (GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION) <= 0) return 0;
    size_t n = 0;
    for (const char* p = text; *p && *p != '\t'; ++p) {
        if (*p == '&' && p[1] != '&') continue;
        if (squeeze && *p == ' ') continue;
        out[n++] = *p;
        if (*p == '&') ++p;
    }
    while (n >= 3 && memcmp(out + n - 3, "...", 3) == 0) n -= 3;
    while (n > 0 && out[n - 1] == ' ') --n;
    out[n] = '\0';
    return n;
}

bool same_text(const char* a, const char* b, size_t n) { return _strnicmp(a, b, n) == 0; }

// A path of names run together ("FileSaveAs", "File Save As"): an item
// whose squeezed name starts what is left of the path is taken, and the
// rest continues in its submenu. The command id of the item that ends the
// path, or -1.
int find_joined(HMENU menu, const char* rest) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char name[kItemChars];
        const size_t n = item_name(menu, i, true, name);
        if (n == 0 || !same_text(name, rest, n)) continue;
        HMENU sub = GetSubMenu(menu, i);
        if (!rest[n] && !sub) return static_cast<int>(GetMenuItemID(menu, i));
        if (rest[n] && sub) {
            const int id = find_joined(sub, rest + n);
            if (id != -1) return id;
        }
    }
    return -1;
}

// A path whose names are separated by `delimiter`; each name is compared
// whole.
int find_delimited(HMENU menu, const char* path, char delimiter) {
    const char* end = delimiter ? strchr(path, delimiter) : nullptr;
    const size_t length = end ? static_cast<size_t>(end - path) : strlen(path);
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char name[kItemChars];
        const size_t n = item_name(menu, i, false, name);
        if (n != length || !same_text(name, path, n)) continue;
        HMENU sub = GetSubMenu(menu, i);
        if (!end && !sub) return static_cast<int>(GetMenuItemID(menu, i));
        if (end && sub) {
            const int id = find_delimited(sub, end + 1, delimiter);
            if (id != -1) return id;
        }
    }
    return -1;
}

// The path without spaces, for find_joined.
void squeeze(const char* path, char* out, size_t size) {
    size_t n = 0;
    for (; *path && n + 1 < size; ++path)
        if (*path != ' ') out[n++] = *path;
    out[n] = '\0';
}

struct MenuChoice {
    HWND window;
    bool system_menu;
    bool wait;
};

// Lets the window prepare the menu as when it opens, then hands it the
// command of item `id`.
bool choose_item(EngineState* st, const MenuChoice& c, HMENU menu, int id) {
    const UINT message = c.system_menu ? WM_SYSCOMMAND : WM_COMMAND;
    DWORD_PTR answer;
    SendMessageTimeoutA(c.window, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0, SMTO_ABORTIFHUNG,
                        kCommandTimeoutMs, &answer);
    if (c.wait) {
        SendMessageTimeoutA(c.window, message, static_cast<WPARAM>(id), 0, SMTO_ABORTIFHUNG, kCommandTimeoutMs,
                            &answer);
    } else if (!PostMessageA(c.window, message, static_cast<WPARAM>(id), 0)) {
        return raise(st, Err::SendMenusToPostFailed);
    }
    PumpMessages(st);
    return true;
}

bool menu_window(EngineState* st, const char* name, HWND* out) {
    *out = name[0] ? find_window(st, name) : nullptr;
    return *out || raise(st, Err::SendMenusToNotFound);
}

HMENU menu_of(const MenuChoice& c) {
    HMENU menu = c.system_menu ? GetSystemMenu(c.window, FALSE) : GetMenu(c.window);
    return menu && IsMenu(menu) && GetMenuItemCount(menu) > 0 ? menu : nullptr;
}

// SendMenusTo(window, path): path names joined, with or without spaces
BUILTIN(menu_send) {
    MenuChoice c{nullptr, false, false};
    if (!menu_window(st, value_text(st, args[1].v), &c.window)) return;
    HMENU menu = menu_of(c);
    if (!menu) return (void)raise(st, Err::SendMenusToNoMenu);
    char path[kItemChars * 4];
    squeeze(value_text(st, args[2].v), path, sizeof path);
    const int item = path[0] ? find_joined(menu, path) : -1;
    if (item == -1) return (void)raise(st, Err::SendMenusToItemNotFound);
    if (choose_item(st, c, menu, item)) set_int_result(result, 1);
}

// SendMenusToEx(window, path, delimiter, system menu, wait): names
// separated by the delimiter's first character (a space when empty), each
// compared whole; system menu 1 chooses from the window's system menu;
// wait 1 sends the command and waits until the window has handled it
BUILTIN(menu_send_ex) {
    MenuChoice c{nullptr, args[4].v.integer == 1, args[5].v.integer == 1};
    if (!menu_window(st, value_text(st, args[1].v), &c.window)) return;
    HMENU menu = menu_of(c);
    if (!menu) return (void)raise(st, Err::SendMenusToNoMenu);
    const char* delimiter = value_text(st, args[3].v);
    const char* path = value_text(st, args[2].v);
    const int item = path[0] ? find_delimited(menu, path, delimiter[0] ? delimiter[0] : ' ') : -1;
    if (item == -1) return (void)raise(st, Err::SendMenusToItemNotFound);
    if (choose_item(st, c, menu, item)) set_int_result(result, 1);
}

}  // namespace

constexpr BuiltinRow kMenuBuiltins[] = {
    BUILTIN_ROW("sendmenusto", menu_send),
    BUILTIN_ROW("sendmenustoex", menu_send_ex),
};
constexpr size_t kMenuBuiltinCount = sizeof(kMenuBuiltins) / sizeof(kMenuBuiltins[0]);
