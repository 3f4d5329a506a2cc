// File names as the file functions handle them: every path is worked on as
// wide text, whichever form the script passed, and results go back in the
// form of the call. Also the small name surgery they share.
#pragma once

#include <windows.h>
#include <stddef.h>
#include "lang/value.h"

struct EngineState;

// Room for one path or file pattern, terminator included.
constexpr size_t PATH_UNITS = 1024;

struct PathText {
    wchar_t s[PATH_UNITS];
};

// The argument's text as wide text (ANSI through the engine's code page);
// too long a text raises 3054.
[[nodiscard]] bool arg_path(EngineState* st, const Value& arg, PathText* out);
// The text of an argument of any form, converted to wide text into a
// buffer the caller owns (any length); false with 1588 when out of memory.
[[nodiscard]] bool arg_wide(EngineState* st, const Value& arg, wchar_t** out, size_t* units);

// A wide text as the result: wide when the call was wide, else ANSI.
[[nodiscard]] bool set_path_result(EngineState* st, Value* result, const wchar_t* text, bool wide);
[[nodiscard]] bool set_path_result(EngineState* st, Value* result, const wchar_t* text, size_t units,
                                   bool wide);
// An integer result.
inline void set_int_result(Value* result, int32_t n) {
    result->v.integer = n;
    result->v.flags = VF_INT;
}

// Whether the text holds "*" or "?".
bool has_wildcards(const wchar_t* text);
// Where the last component starts (after the last "\", "/" or a drive's ":").
const wchar_t* name_part(const wchar_t* path);
// Where the extension's dot of a file name is (the last "."), or null.
const wchar_t* extension_dot(const wchar_t* name);
// The directory of a path with its trailing "\" (empty when none) into out.
void directory_part(const wchar_t* path, PathText* out);
// Appends text to a path text; false when it does not fit.
bool path_append(PathText* path, const wchar_t* text);
// Full path of a name (GetFullPathNameW); false when it cannot be expanded.
bool full_path(const wchar_t* name, PathText* out);
// A file (not a directory) exists.
bool file_exists(const wchar_t* path);
bool directory_exists(const wchar_t* path);
// An existing file marked read-only. Writers test it themselves: a prefix
// run with full rights would otherwise let them through.
bool read_only_file(const wchar_t* path);

// Adds "<call>: error <code>" for the platform error just met to the
// additional error information, before the caller raises its own number.
void record_platform_error(EngineState* st, const char* call);
