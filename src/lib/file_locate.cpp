// The file locator shared by FileExist, FileLocate and the DLL calls.
#include "lib/file_locate.h"

#include <wchar.h>

namespace {

bool has_directory(const wchar_t* name) { return wcspbrk(name, L"\\/:") != nullptr; }

// Each directory of the PATH variable in turn.
bool search_path_variable(const wchar_t* name, PathText* out) {
    wchar_t path[8192];
    const DWORD n = GetEnvironmentVariableW(L"PATH", path, sizeof path / sizeof path[0]);
    if (n == 0 || n >= sizeof path / sizeof path[0]) return false;
    for (wchar_t* dir = path; dir && *dir;) {
        wchar_t* end = wcschr(dir, L';');
        if (end) *end = 0;
        if (*dir) {
            PathText candidate;
            lstrcpynW(candidate.s, dir, PATH_UNITS);
            const size_t length = wcslen(candidate.s);
            if (candidate.s[length - 1] != L'\\') path_append(&candidate, L"\\");
            if (path_append(&candidate, name) && file_exists(candidate.s)) return full_path(candidate.s, out);
        }
        dir = end ? end + 1 : nullptr;
    }
    return false;
}

}  // namespace

bool locate_file(const wchar_t* name, PathText* out) {
    if (!*name) return false;
    if (has_directory(name)) return full_path(name, out) && file_exists(out->s);
    if (search_path_variable(name, out)) return true;
    const DWORD n = SearchPathW(nullptr, name, nullptr, PATH_UNITS, out->s, nullptr);
    return n > 0 && n < PATH_UNITS && file_exists(out->s);
}
