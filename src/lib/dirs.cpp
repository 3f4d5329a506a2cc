// Directory functions: attributes, the current, home and system
// directories, making, removing and renaming directories, and their size.
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/file_attr.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"

namespace {

DWORD directory_attributes(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? attributes
                                                                                             : INVALID_FILE_ATTRIBUTES;
}

// A directory with one trailing "\" as the result.
void directory_result(EngineState* st, Value* result, PathText* path, bool wide) {
    const size_t n = wcslen(path->s);
    if (n && path->s[n - 1] != L'\\') path_append(path, L"\\");
    (void)set_path_result(st, result, path->s, wide);
}

// DirAttrGet(dir): "RASH" with "-" for each attribute that is off.
BUILTIN(dir_attr_get) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const DWORD attributes = directory_attributes(path.s);
    if (attributes == INVALID_FILE_ATTRIBUTES) return (void)raise(st, Err::DirAttrGetNotFound);
    char text[5];
    attribute_text(attributes, text);
    (void)set_value_text(st, &result->v, text, 4);
}

// DirAttrGetEx(dir): the attribute bits.
BUILTIN(dir_attr_get_ex) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const DWORD attributes = directory_attributes(path.s);
    if (attributes == INVALID_FILE_ATTRIBUTES) return (void)raise(st, Err::DirAttrGetNotFound);
    set_int_result(result, static_cast<int32_t>(attributes));
}

// DirAttrSet(dir, attributes)
BUILTIN(dir_attr_set) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    if (directory_attributes(path.s) == INVALID_FILE_ATTRIBUTES ||
        !set_attribute_letters(path.s, value_text(st, args[2].v)))
        return (void)raise(st, Err::DirAttrSetFailed);
    set_int_result(result, 1);
}

// DirAttrSetEx(dir, attributes, mode): mode 0 replaces, 1 adds, 2 removes.
BUILTIN(dir_attr_set_ex) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const DWORD current = directory_attributes(path.s);
    const DWORD bits = static_cast<DWORD>(args[2].v.integer) & ~FILE_ATTRIBUTE_DIRECTORY;
    const int32_t mode = args[3].v.integer;
    DWORD wanted = mode == 0 ? bits : mode == 1 ? (current | bits) : (current & ~bits);
    wanted &= ~FILE_ATTRIBUTE_DIRECTORY;
    if (current == INVALID_FILE_ATTRIBUTES || mode < 0 || mode > 2 ||
        !SetFileAttributesW(path.s, wanted ? wanted : FILE_ATTRIBUTE_NORMAL))
        return (void)raise(st, Err::DirAttrSetFailed);
    set_int_result(result, 1);
}

// DirChange(dir)
BUILTIN(dir_change) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    if (!path.s[0] || !SetCurrentDirectoryW(path.s)) return (void)raise(st, Err::DirChangeFailed);
    set_int_result(result, 1);
}

// DirExist(dir): 1 when the directory exists.
BUILTIN(dir_exist) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    if (has_wildcards(path.s)) return (void)raise(st, Err::DirExistInvalidPath);
    set_int_result(result, directory_attributes(path.s) != INVALID_FILE_ATTRIBUTES);
}

// DirGet(): the current directory with its "\".
BUILTIN(dir_get) {
    PathText path;
    const DWORD n = GetCurrentDirectoryW(PATH_UNITS, path.s);
    if (n == 0 || n >= PATH_UNITS) path.s[0] = 0;
    directory_result(st, result, &path, wide);
}

// DirHome(): the directory of the host program.
BUILTIN(dir_home) {
    PathText module, path;
    GetModuleFileNameW(nullptr, module.s, PATH_UNITS);
    directory_part(module.s, &path);
    directory_result(st, result, &path, wide);
}

// Makes a directory and the parents it lacks.
bool make_directories(PathText* path) {
    if (directory_attributes(path->s) != INVALID_FILE_ATTRIBUTES) return true;
    if (CreateDirectoryW(path->s, nullptr)) return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    wchar_t* cut = wcsrchr(path->s, L'\\');
    if (!cut || cut == path->s) return false;
    *cut = 0;
    const bool parent = make_directories(path);
    *cut = L'\\';
    return parent && CreateDirectoryW(path->s, nullptr);
}

// DirMake(dir)
BUILTIN(dir_make) {
    PathText path, full;
    if (!arg_path(st, args[1], &path)) return;
    if (!full_path(path.s, &full)) return (void)raise(st, Err::DirMakeFailed);
    const size_t n = wcslen(full.s);
    if (n > 3 && full.s[n - 1] == L'\\') full.s[n - 1] = 0;
    if (!make_directories(&full)) return (void)raise(st, Err::DirMakeFailed);
    set_int_result(result, 1);
}

// DirRemove(dir)
BUILTIN(dir_remove) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    if (!RemoveDirectoryW(path.s)) return (void)raise(st, Err::DirRemoveFailed);
    set_int_result(result, 1);
}

// DirRename(from, to)
BUILTIN(dir_rename) {
    PathText from, to;
    if (!arg_path(st, args[1], &from) || !arg_path(st, args[2], &to)) return;
    if (!from.s[0] || has_wildcards(from.s) || directory_attributes(from.s) == INVALID_FILE_ATTRIBUTES)
        return (void)raise(st, Err::DirRenameBadFrom);
    if (!to.s[0] || has_wildcards(to.s) || GetFileAttributesW(to.s) != INVALID_FILE_ATTRIBUTES)
        return (void)raise(st, Err::DirRenameBadTo);
    if (!MoveFileW(from.s, to.s)) return (void)raise(st, Err::FileRenameRenameFailed);
    set_int_result(result, 1);
}

uint64_t tree_size(PathText* dir, bool nested) {
    const size_t n = wcslen(dir->s);
    uint64_t total = 0;
    if (!path_append(dir, L"\\*")) return 0;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(dir->s, &entry);
    dir->s[n] = 0;
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            total += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        } else if (nested && wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) {
            path_append(dir, L"\\");
            if (path_append(dir, entry.cFileName)) total += tree_size(dir, nested);
            dir->s[n] = 0;
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return total;
}

// DirSize(dir, flags, format): bytes of the files in the directory; flags 1
// counts subdirectories too; a total beyond the integers (or format 1) is a float.
BUILTIN(dir_size) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    size_t n = wcslen(path.s);
    while (n > 3 && path.s[n - 1] == L'\\') path.s[--n] = 0;
    if (directory_attributes(path.s) == INVALID_FILE_ATTRIBUTES) return (void)raise(st, Err::DirSizeNotFound);
    const uint64_t total = tree_size(&path, args[2].v.integer & 1);
    if (total > 0x7FFFFFFF || optional_arg(args, count, 3, 0) == 1) {
        result->v.real = static_cast<double>(total);
        result->v.flags = VF_FLOAT;
    } else {
        set_int_result(result, static_cast<int32_t>(total));
    }
}

// DirWindows(request): 0 the Windows directory, 1 the system directory.
BUILTIN(dir_windows) {
    PathText path;
    UINT n = 0;
    switch (args[1].v.integer) {
        case 0: n = GetWindowsDirectoryW(path.s, PATH_UNITS); break;
        case 1: n = GetSystemDirectoryW(path.s, PATH_UNITS); break;
        default: return (void)raise(st, Err::DirWindowsBadRequest);
    }
    if (n == 0 || n >= PATH_UNITS) path.s[0] = 0;
    directory_result(st, result, &path, wide);
}

}  // namespace

extern const BuiltinRow kDirBuiltins[] = {
    BUILTIN_ROW("dirattrget", dir_attr_get),
    BUILTIN_ROW("dirattrgetex", dir_attr_get_ex),
    BUILTIN_ROW("dirattrset", dir_attr_set),
    BUILTIN_ROW("dirattrsetex", dir_attr_set_ex),
    BUILTIN_ROW("dirchange", dir_change),
    BUILTIN_ROW("direxist", dir_exist),
    BUILTIN_ROW("dirget", dir_get),
    BUILTIN_ROW("dirhome", dir_home),
    BUILTIN_ROW("dirmake", dir_make),
    BUILTIN_ROW("dirremove", dir_remove),
    BUILTIN_ROW("dirrename", dir_rename),
    BUILTIN_ROW("dirsize", dir_size),
    BUILTIN_ROW("dirwindows", dir_windows),
};
extern const size_t kDirBuiltinCount = sizeof(kDirBuiltins) / sizeof(kDirBuiltins[0]);
