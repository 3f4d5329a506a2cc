// Finding a menu item by the names on its path (see menu_path.h).
#include "lib/menu_path.h"

#include <string.h>

namespace {

constexpr size_t kItemChars = MENU_PATH_CHARS / 4;

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

}  // namespace

// An item whose squeezed name starts what is left of the path is taken,
// and the rest continues in its submenu.
int find_menu_item_joined(HMENU menu, const char* rest) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char name[kItemChars];
        const size_t n = item_name(menu, i, true, name);
        if (n == 0 || !same_text(name, rest, n)) continue;
        HMENU sub = GetSubMenu(menu, i);
        if (!rest[n] && !sub) return static_cast<int>(GetMenuItemID(menu, i));
        if (rest[n] && sub) {
            const int id = find_menu_item_joined(sub, rest + n);
            if (id != -1) return id;
        }
    }
    return -1;
}

int find_menu_item_delimited(HMENU menu, const char* path, char delimiter) {
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
            const int id = find_menu_item_delimited(sub, end + 1, delimiter);
            if (id != -1) return id;
        }
    }
    return -1;
}


void squeeze_menu_path(const char* path, char* out, size_t size) {
    size_t n = 0;
    for (; *path && n + 1 < size; ++path)
        if (*path != ' ') out[n++] = *path;
    out[n] = '\0';
}
