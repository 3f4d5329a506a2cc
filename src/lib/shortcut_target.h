// The file a shell shortcut (.LNK) points at.
#pragma once

#include <stddef.h>

// The target path of the shortcut file `link`; false when the file is no
// shortcut or names no file-system target.
bool shortcut_target(const wchar_t* link, wchar_t* target, size_t units);
