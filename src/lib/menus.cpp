// SendMenusTo and SendMenusToEx: choosing an item of another window's menu
// by the names on its path, as if the user had picked it.
#include <windows.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/menu_path.h"
#include "lib/path_text.h"
#include "lib/window_name.h"
#include "lib/window_target.h"

namespace {

// How long SendMenusToEx's wait form lets the window take over the command.
constexpr UINT kCommandTimeoutMs = 5000;

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
    char path[MENU_PATH_CHARS];
    squeeze_menu_path(value_text(st, args[2].v), path, sizeof path);
    const int item = path[0] ? find_menu_item_joined(menu, path) : -1;
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
    const int item = path[0] ? find_menu_item_delimited(menu, path, delimiter[0] ? delimiter[0] : ' ') : -1;
    if (item == -1) return (void)raise(st, Err::SendMenusToItemNotFound);
    if (choose_item(st, c, menu, item)) set_int_result(result, 1);
}

}  // namespace

constexpr BuiltinRow kMenuBuiltins[] = {
    BUILTIN_ROW("sendmenusto", menu_send),
    BUILTIN_ROW("sendmenustoex", menu_send_ex),
};
constexpr size_t kMenuBuiltinCount = sizeof(kMenuBuiltins) / sizeof(kMenuBuiltins[0]);
