// The App Paths lookup of program launching and the PATH prefix that an
// entry's folder list gives the process it starts.
#include "lib/app_paths.h"

#include <wchar.h>
#include "base/engine_state.h"
#include "lib/path_text.h"

namespace {

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// PATH can hold up to this many characters (the environment block's limit).
constexpr DWORD kLongestVariable = 32767;

bool has_directory(const wchar_t* program) { return name_part(program) != program; }

// The entry's key name: the program's file name in capitals, with ".EXE"
// when it has no extension of its own.
bool entry_key(const wchar_t* program, wchar_t* key, size_t units) {
    const wchar_t* name = name_part(program);
    const wchar_t* extension = extension_dot(name) ? L"" : L".EXE";
    if (wcslen(kAppPathsKey) + wcslen(name) + wcslen(extension) >= units) return false;
    wcscpy(key, kAppPathsKey);
    wcscat(key, name);
    wcscat(key, extension);
    CharUpperW(key + wcslen(kAppPathsKey));
    return true;
}

// A text value of the key, environment references expanded; "" when it
// is missing or not a text.
void read_expanded(HKEY key, const wchar_t* name, wchar_t* out, size_t units) {
    out[0] = 0;
    wchar_t raw[APP_PATH_UNITS];
    DWORD type = 0, bytes = sizeof raw - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(raw), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return;
    raw[bytes / sizeof(wchar_t)] = 0;
    const DWORD needed = ExpandEnvironmentStringsW(raw, out, static_cast<DWORD>(units));
    if (needed == 0 || needed > units) out[0] = 0;
}

// The entry's command without the quotes around its program file.
void command_file(const wchar_t* command, wchar_t* file, size_t units) {
    const bool quoted = command[0] == L'"';
    const wchar_t* start = command + (quoted ? 1 : 0);
    const wchar_t* end = quoted ? wcschr(start, L'"') : nullptr;
    size_t n = end ? static_cast<size_t>(end - start) : wcslen(start);
    if (n >= units) n = units - 1;
    wmemcpy(file, start, n);
    file[n] = 0;
}

bool same_file(const wchar_t* a, const wchar_t* b) {
    PathText full_a, full_b;
    return full_path(a, &full_a) && full_path(b, &full_b) && lstrcmpiW(full_a.s, full_b.s) == 0;
}

// Quotes the command unless it already starts with a quote.
bool quote_command(AppPathEntry* out) {
    if (out->command[0] == L'"') return true;
    const size_t n = wcslen(out->command);
    if (n + 3 > APP_PATH_UNITS) return false;
    wmemmove(out->command + 1, out->command, n);
    out->command[0] = L'"';
    out->command[n + 1] = L'"';
    out->command[n + 2] = 0;
    return true;
}

}  // namespace

bool find_app_path(EngineState* st, const wchar_t* program, AppPathEntry* out) {
    wchar_t key_name[APP_PATH_UNITS];
    if (!*program || !entry_key(program, key_name, APP_PATH_UNITS)) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_name, 0, KEY_QUERY_VALUE | st->registry_view, &key) !=
        ERROR_SUCCESS)
        return false;
    read_expanded(key, nullptr, out->command, APP_PATH_UNITS);
    read_expanded(key, L"Path", out->folders, APP_PATH_UNITS);
    RegCloseKey(key);
    if (!out->command[0]) return false;
    if (has_directory(program)) {
        wchar_t file[APP_PATH_UNITS];
        command_file(out->command, file, APP_PATH_UNITS);
        if (!same_file(program, file)) return false;
    }
    return quote_command(out);
}

bool PathPrefix::prepend(const wchar_t* folders) {
    if (!*folders) return true;
    const size_t folder_units = wcslen(folders);
    const DWORD old_units = GetEnvironmentVariableW(L"PATH", nullptr, 0);  // terminator included
    const size_t total = folder_units + 1 + old_units + 1;
    if (total > kLongestVariable) return false;
    auto* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, total * sizeof(wchar_t)));
    if (!text) return false;
    wmemcpy(text, folders, folder_units);
    text[folder_units] = 0;
    if (old_units) {
        text[folder_units] = L';';
        GetEnvironmentVariableW(L"PATH", text + folder_units + 1, old_units);
        saved_ = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, old_units * sizeof(wchar_t)));
        if (!saved_) {
            HeapFree(GetProcessHeap(), 0, text);
            return false;
        }
        wcscpy(saved_, text + folder_units + 1);
    }
    changed_ = SetEnvironmentVariableW(L"PATH", text) != 0;
    HeapFree(GetProcessHeap(), 0, text);
    return changed_;
}

void PathPrefix::restore() {
    if (changed_) SetEnvironmentVariableW(L"PATH", saved_);  // null removes it again
    changed_ = false;
    if (saved_) HeapFree(GetProcessHeap(), 0, saved_);
    saved_ = nullptr;
}
