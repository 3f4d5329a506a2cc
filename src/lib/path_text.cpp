// Wide path texts for the file functions: argument and result conversion
// and the name surgery shared by the walker, the locator and the families.
#include "lib/path_text.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "lib/text_ops.h"

bool arg_path(EngineState* st, const Value& arg, PathText* out) {
    if (arg.v.flags & VF_UNICODE) {
        const wchar_t* text = value_wtext(st, arg.v);
        const size_t n = text ? wcslen(text) : 0;
        if (n >= PATH_UNITS) return raise(st, Err::UnrecognizableItem);
        if (n) memcpy(out->s, text, n * sizeof(wchar_t));
        out->s[n] = 0;
        return true;
    }
    const char* text = value_text(st, arg.v);
    if (!text || !*text) {
        out->s[0] = 0;
        return true;
    }
    const int n = MultiByteToWideChar(st->code_page, 0, text, -1, out->s, PATH_UNITS);
    if (n == 0) return raise(st, Err::UnrecognizableItem);
    return true;
}

bool arg_wide(EngineState* st, const Value& arg, wchar_t** out, size_t* units) {
    *out = nullptr;
    *units = 0;
    const bool is_wide = (arg.v.flags & VF_UNICODE) != 0;
    const wchar_t* wtext = is_wide ? value_wtext(st, arg.v) : nullptr;
    const char* text = is_wide ? nullptr : value_text(st, arg.v);
    const size_t bytes = text ? strlen(text) : 0;
    const size_t n = is_wide ? (wtext ? wcslen(wtext) : 0)
                             : (bytes ? MultiByteToWideChar(st->code_page, 0, text, static_cast<int>(bytes), nullptr, 0) : 0);
    auto* buffer = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (n + 1) * sizeof(wchar_t)));
    if (!buffer) return raise(st, Err::AllocFailed);
    if (is_wide && n) memcpy(buffer, wtext, n * sizeof(wchar_t));
    if (!is_wide && n) MultiByteToWideChar(st->code_page, 0, text, static_cast<int>(bytes), buffer, static_cast<int>(n));
    buffer[n] = 0;
    *out = buffer;
    *units = n;
    return true;
}

bool set_path_result(EngineState* st, Value* result, const wchar_t* text, size_t units, bool wide) {
    if (wide) return set_result<wchar_t>(st, result, Span<wchar_t>{text, units});
    const int bytes = units ? WideCharToMultiByte(st->code_page, 0, text, static_cast<int>(units), nullptr, 0,
                                                  nullptr, nullptr)
                            : 0;
    char* out = new_result_text<char>(st, result, static_cast<size_t>(bytes));
    if (!out) return false;
    if (bytes) WideCharToMultiByte(st->code_page, 0, text, static_cast<int>(units), out, bytes, nullptr, nullptr);
    return true;
}

bool set_path_result(EngineState* st, Value* result, const wchar_t* text, bool wide) {
    return set_path_result(st, result, text, wcslen(text), wide);
}

bool has_wildcards(const wchar_t* text) { return wcspbrk(text, L"*?") != nullptr; }

const wchar_t* name_part(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':') name = p + 1;
    return name;
}

const wchar_t* extension_dot(const wchar_t* name) { return wcsrchr(name, L'.'); }

void directory_part(const wchar_t* path, PathText* out) {
    const size_t n = static_cast<size_t>(name_part(path) - path);
    memcpy(out->s, path, n * sizeof(wchar_t));
    out->s[n] = 0;
}

bool path_append(PathText* path, const wchar_t* text) {
    const size_t have = wcslen(path->s), add = wcslen(text);
    if (have + add >= PATH_UNITS) return false;
    memcpy(path->s + have, text, (add + 1) * sizeof(wchar_t));
    return true;
}

bool full_path(const wchar_t* name, PathText* out) {
    if (!*name) return false;
    const DWORD n = GetFullPathNameW(name, PATH_UNITS, out->s, nullptr);
    return n > 0 && n < PATH_UNITS;
}

bool file_exists(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool read_only_file(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directory_exists(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void record_platform_error(EngineState* st, const char* call) {
    char text[128];
    snprintf(text, sizeof text, "%s: error %lu", call, static_cast<unsigned long>(GetLastError()));
    AddErrorInfo(st, text);
}
