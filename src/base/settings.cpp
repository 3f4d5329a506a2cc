// Settings readers and writers: the INI file in the settings directory, the
// engine's registry key under HKEY_LOCAL_MACHINE, and RecordLastError.
#include "base/settings.h"

#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/engine_state.h"
#include "base/error_info.h"

namespace {

typedef HRESULT(WINAPI* GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPSTR);

// SHGetFolderPathA is looked up at run time: older shells lack it in
// SHELL32.DLL and ship it only in the redistributable SHFOLDER.DLL.
bool application_data_folder(char* path) {
    static const char* const libraries[] = {"SHELL32.DLL", "SHFOLDER.DLL"};
    for (const char* name : libraries) {
        HMODULE library = LoadLibraryA(name);
        if (!library) continue;
        auto get_folder = (GetFolderPathFn)(void*)GetProcAddress(library, "SHGetFolderPathA");
        bool found = get_folder && SUCCEEDED(get_folder(nullptr, CSIDL_APPDATA, nullptr, 0, path)) &&
                     path[0] != '\0';
        FreeLibrary(library);
        if (found) return true;
    }
    return false;
}

// The directory does not change during a process, so it is worked out once.
const char* cached_settings_directory() {
    static char directory[MAX_PATH];
    if (directory[0]) return directory;
    char base[MAX_PATH] = "";
    if (!application_data_folder(base) && !GetWindowsDirectoryA(base, MAX_PATH)) base[0] = '\0';
    size_t length = strlen(base);
    const char* separator = (length && base[length - 1] != '\\') ? "\\" : "";
    snprintf(directory, sizeof directory, "%s%sTarvolin\\Settings", base, separator);
    return directory;
}

// Creates every missing level of the settings directory; a fresh profile has
// neither "Tarvolin" nor "Settings".
void ensure_settings_directory() {
    const char* directory = cached_settings_directory();
    if (GetFileAttributesA(directory) != INVALID_FILE_ATTRIBUTES) return;
    char partial[MAX_PATH];
    lstrcpynA(partial, directory, MAX_PATH);
    for (char* p = partial + 3; *p; ++p) {  // past "C:\"
        if (*p != '\\') continue;
        *p = '\0';
        CreateDirectoryA(partial, nullptr);
        *p = '\\';
    }
    CreateDirectoryA(partial, nullptr);
}

REGSAM registry_view() { return g_os.is_wow64 ? KEY_WOW64_64KEY : 0; }

// Opens (or, with `create`, creates) "Software\Quellmark\Settings\<file name
// without extension>\<section>" under HKEY_LOCAL_MACHINE; null on failure.
HKEY open_section_key(const char* section, const char* file, bool create) {
    if (!file) file = SETTINGS_INI;
    const char* name_start = strrchr(file, '\\');
    name_start = name_start ? name_start + 1 : file;
    const char* dot = strrchr(name_start, '.');
    int stem = dot ? (int)(dot - file) : (int)strlen(file);
    char path[2 * MAX_PATH];
    snprintf(path, sizeof path, "Software\\Quellmark\\Settings\\%.*s\\%s", stem, file,
             section ? section : "");
    HKEY key = nullptr;
    LONG status;
    if (create) {
        status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_QUERY_VALUE | registry_view(), nullptr, &key,
                                 nullptr);
    } else {
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | registry_view(), &key);
    }
    return status == ERROR_SUCCESS ? key : nullptr;
}

// Reads a string value into buffer (size in characters of C), always
// terminating it; false when the value is missing or does not fit.
template <typename C, typename Query>
bool query_text(HKEY key, Query query, C* buffer, size_t size) {
    DWORD bytes = (DWORD)(size * sizeof(C));
    if (query(key, (BYTE*)buffer, &bytes) != ERROR_SUCCESS) return false;
    // Registry strings need not carry their terminator.
    size_t chars = bytes / sizeof(C);
    buffer[chars < size ? chars : size - 1] = 0;
    return true;
}

}  // namespace

void settings_directory(char* buffer, size_t size) {
    lstrcpynA(buffer, cached_settings_directory(), (int)size);
}

void settings_file_path(const char* file, char* buffer, size_t size) {
    snprintf(buffer, size, "%s\\%s", cached_settings_directory(), file ? file : SETTINGS_INI);
}

int IniReadString(const char* section, const char* key, const char* deflt, char* buffer, size_t size) {
    char path[MAX_PATH];
    settings_file_path(SETTINGS_INI, path, sizeof path);
    return (int)GetPrivateProfileStringA(section, key, deflt, buffer, (DWORD)size, path);
}

bool IniWriteString(const char* section, const char* key, const char* value) {
    char path[MAX_PATH];
    settings_file_path(SETTINGS_INI, path, sizeof path);
    ensure_settings_directory();
    return WritePrivateProfileStringA(section, key, value, path) != 0;
}

bool RegReadString(const char* section, const char* key, const char* deflt, char* buffer,
                   size_t size, const char* file) {
    if (!buffer || size == 0) return false;
    lstrcpynA(buffer, deflt ? deflt : "", (int)size);
    HKEY handle = open_section_key(section, file, false);
    if (!handle) return false;
    bool found = query_text(handle, [key](HKEY h, BYTE* data, DWORD* bytes) {
        return RegQueryValueExA(h, key, nullptr, nullptr, data, bytes);
    }, buffer, size);
    RegCloseKey(handle);
    // A value too long for the buffer may have left part of itself behind.
    if (!found) lstrcpynA(buffer, deflt ? deflt : "", (int)size);
    return found;
}

int32_t RegReadInt(const char* section, const char* key, int32_t deflt, const char* file) {
    HKEY handle = open_section_key(section, file, false);
    if (!handle) return deflt;
    DWORD type = 0, value = 0, bytes = sizeof value;
    LONG status = RegQueryValueExA(handle, key, nullptr, &type, (BYTE*)&value, &bytes);
    RegCloseKey(handle);
    return (status == ERROR_SUCCESS && type == REG_DWORD && bytes == 4) ? (int32_t)value : deflt;
}

int32_t RegReadStringAsInt(const char* section, const char* key, int32_t deflt, const char* file) {
    char number[16];
    snprintf(number, sizeof number, "%d", (int)deflt);
    char text[257];
    RegReadString(section, key, number, text, sizeof text, file);
    return (int32_t)atol(text);
}

bool RegWriteString(const char* section, const char* key, const char* value, const char* file) {
    HKEY handle = open_section_key(section, file, true);
    if (!handle) return false;
    LONG status = value ? RegSetValueExA(handle, key, 0, REG_SZ, (const BYTE*)value,
                                         (DWORD)strlen(value) + 1)
                        : RegDeleteValueA(handle, key);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

bool RegWriteInt(const char* section, const char* key, int32_t value, const char* file) {
    HKEY handle = open_section_key(section, file, true);
    if (!handle) return false;
    DWORD data = (DWORD)value;
    LONG status = RegSetValueExA(handle, key, 0, REG_DWORD, (const BYTE*)&data, sizeof data);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

bool RegReadWide(const char* section, const wchar_t* key, const wchar_t* deflt, wchar_t* buffer,
                 size_t size, const char* file) {
    if (!buffer || size == 0) return false;
    lstrcpynW(buffer, deflt ? deflt : L"", (int)size);
    HKEY handle = open_section_key(section, file, false);
    if (!handle) return false;
    bool found = query_text(handle, [key](HKEY h, BYTE* data, DWORD* bytes) {
        return RegQueryValueExW(h, key, nullptr, nullptr, data, bytes);
    }, buffer, size);
    RegCloseKey(handle);
    if (!found) lstrcpynW(buffer, deflt ? deflt : L"", (int)size);
    return found;
}

bool RegWriteWide(const char* section, const wchar_t* key, const wchar_t* value, const char* file) {
    HKEY handle = open_section_key(section, file, true);
    if (!handle) return false;
    LONG status = value ? RegSetValueExW(handle, key, 0, REG_SZ, (const BYTE*)value,
                                         (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)))
                        : RegDeleteValueW(handle, key);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

void RecordLastError(EngineState* st, int32_t number, const char* text, bool show) {
    if (!text) text = "";
    char line[LINE_BUFFER_BYTES];
    snprintf(line, sizeof line, "%ld (%s)", (long)number, text);
    IniWriteString("KESTR44I", "LastError", line);
    if (!show) return;
    snprintf(line, sizeof line, "%s error:\n\n    %ld", text, (long)number);
    AddErrorInfo(st, line);
}
