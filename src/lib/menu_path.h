// Finding a menu item by the names on its path, as SendMenusTo and
// SendMenusToEx name it. An item's name is its text without "&" marks,
// without the accelerator text after a tab and without a trailing "...";
// names compare without regard to case.
#pragma once

#include <windows.h>
#include <stddef.h>

// Room for a menu path.
constexpr size_t MENU_PATH_CHARS = 1024;

// The command id of the item that a path of names run together
// ("FileSaveAs") ends at, spaces of the item names left out; -1 when no
// item, or only a submenu, is there.
int find_menu_item_joined(HMENU menu, const char* path);

// The same for a path whose names are separated by `delimiter`, each name
// compared whole ("File|Save As").
int find_menu_item_delimited(HMENU menu, const char* path, char delimiter);

// `path` without its spaces, for find_menu_item_joined.
void squeeze_menu_path(const char* path, char* out, size_t size);
