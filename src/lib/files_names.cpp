// File-name functions: parts of a name, full, long and short forms, mask
// mapping, the locator, temporary files and InstallFile.
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/file_locate.h"
#include "lib/file_walk.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"

namespace {

// FileBaseName(filename, flag): the name without its directory; flag 1
// also drops the extension.
BUILTIN(file_base_name) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const wchar_t* name = name_part(path.s);
    const wchar_t* dot = extension_dot(name);
    const size_t n = optional_arg(args, count, 2, 0) == 1 && dot ? static_cast<size_t>(dot - name) : wcslen(name);
    (void)set_path_result(st, result, name, n, wide);
}

// FileRoot(filename): the name without directory and extension.
BUILTIN(file_root) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const wchar_t* name = name_part(path.s);
    const wchar_t* dot = extension_dot(name);
    (void)set_path_result(st, result, name, dot ? static_cast<size_t>(dot - name) : wcslen(name), wide);
}

// FileExtension(filename): what follows the name's last dot.
BUILTIN(file_extension) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const wchar_t* dot = extension_dot(name_part(path.s));
    (void)set_path_result(st, result, dot ? dot + 1 : L"", wide);
}

// FilePath(filename): drive and directory of the full name, with "\".
BUILTIN(file_path) {
    PathText path, full, directory;
    if (!arg_path(st, args[1], &path)) return;
    if (!full_path(path.s, &full)) full.s[0] = 0;
    directory_part(full.s, &directory);
    (void)set_path_result(st, result, directory.s, wide);
}

// FileFullName(filename)
BUILTIN(file_full_name) {
    PathText path, full;
    if (!arg_path(st, args[1], &path)) return;
    if (!full_path(path.s, &full)) return (void)raise(st, Err::FileFullNameFailed);
    (void)set_path_result(st, result, full.s, wide);
}

// FileNameLong(filename) and FileNameShort(filename): one worker over
// the platform's two conversions.
typedef DWORD(WINAPI* NameForm)(LPCWSTR, LPWSTR, DWORD);
void name_form(EngineState* st, Value* result, const Value& arg, bool wide, NameForm form, Err missing) {
    PathText path, out;
    if (!arg_path(st, arg, &path)) return;
    const DWORD n = form(path.s, out.s, PATH_UNITS);
    if (n == 0 || n >= PATH_UNITS) return (void)raise(st, missing);
    (void)set_path_result(st, result, out.s, wide);
}
BUILTIN(file_name_long) { name_form(st, result, args[1], wide, GetLongPathNameW, Err::FileNameLongNotFound); }
BUILTIN(file_name_short) { name_form(st, result, args[1], wide, GetShortPathNameW, Err::FileNameShortNotFound); }

// FileMapName(filename, mask): the full name the mask makes of the file's name.
BUILTIN(file_map_name) {
    PathText path, mask, out;
    if (!arg_path(st, args[1], &path) || !arg_path(st, args[2], &mask)) return;
    if (!path.s[0] || !map_destination(path.s, mask.s, &out)) return (void)raise(st, Err::FileMapNameFailed);
    (void)set_path_result(st, result, out.s, wide);
}

// FileLocate(filename): the full name the locator finds, "" for none.
BUILTIN(file_locate) {
    PathText path, found;
    if (!arg_path(st, args[1], &path)) return;
    (void)set_path_result(st, result, locate_file(path.s, &found) ? found.s : L"", wide);
}

// FileCreateTemp(prefix): a new empty file in the temporary directory.
BUILTIN(file_create_temp) {
    PathText prefix, directory, name;
    if (!arg_path(st, args[1], &prefix)) return;
    prefix.s[3] = 0;  // the platform reads three characters of it
    const DWORD n = GetTempPathW(PATH_UNITS, directory.s);
    if (n == 0 || n >= PATH_UNITS) return (void)raise(st, Err::FileCreateTempNoPath);
    if (!GetTempFileNameW(directory.s, prefix.s, 0, name.s)) return (void)raise(st, Err::FileCreateTempFailed);
    (void)set_path_result(st, result, name.s, wide);
}

// InstallFile(source, target-name, target-dir, delete-source, flags): copies
// the source into the directory under the target name (the source's own
// name when it is empty); delete-source 1 removes the source afterwards.
BUILTIN(install_file) {
    PathText source, target, directory;
    if (!arg_path(st, args[1], &source) || !arg_path(st, args[2], &target) || !arg_path(st, args[3], &directory))
        return;
    if (!source.s[0] || !file_exists(source.s)) return (void)raise(st, Err::InstallFileSourceNotFound);
    if (wcspbrk(target.s, L"\\/:")) return (void)raise(st, Err::InstallFileTargetHasPath);
    if (!directory.s[0] || !directory_exists(directory.s)) return (void)raise(st, Err::InstallFileTargetDirNotFound);
    PathText destination = directory;
    if (destination.s[wcslen(destination.s) - 1] != L'\\') path_append(&destination, L"\\");
    if (!path_append(&destination, target.s[0] ? target.s : name_part(source.s)))
        return (void)raise(st, Err::InstallFileTargetDirNotFound);
    if (!CopyFileW(source.s, destination.s, FALSE)) {
        record_platform_error(st, "CopyFile");
        return (void)raise(st, Err::FileCopyFailed);
    }
    if (args[4].v.integer == 1) DeleteFileW(source.s);
    set_int_result(result, 1);
}

}  // namespace

extern const BuiltinRow kFileNameBuiltins[] = {
    BUILTIN_ROW("filebasename", file_base_name),
    BUILTIN_ROW("filecreatetemp", file_create_temp),
    BUILTIN_ROW("fileextension", file_extension),
    BUILTIN_ROW("filefullname", file_full_name),
    BUILTIN_ROW("filelocate", file_locate),
    BUILTIN_ROW("filemapname", file_map_name),
    BUILTIN_ROW("filenamelong", file_name_long),
    BUILTIN_ROW("filenameshort", file_name_short),
    BUILTIN_ROW("filepath", file_path),
    BUILTIN_ROW("fileroot", file_root),
    BUILTIN_ROW("installfile", install_file),
};
extern const size_t kFileNameBuiltinCount = sizeof(kFileNameBuiltins) / sizeof(kFileNameBuiltins[0]);
