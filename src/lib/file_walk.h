// The file-list walker: splits a list of file specifications, expands the
// wildcards of each against the file system (with the long-name re-check),
// and hands every file found to an operation. Also the destination-name
// mapping of copy, move, append and rename, and the directory enumeration
// of the itemize functions.
#pragma once

#include <windows.h>
#include <stddef.h>
#include "lib/path_text.h"

struct EngineState;

// Longest file pattern a list may hold (3054 beyond it).
constexpr size_t SPEC_MAX_CHARS = 280;

// An operation on one file; false stops the walk (with the error set).
typedef bool (*FileOperation)(EngineState* st, const wchar_t* path, void* context);

struct WalkRules {
    bool wildcards_allowed = true;  // else 3322 for a file pattern with wildcards
    bool no_match_ok = false;       // a wildcard matching nothing is no error (FileDelete)
};

// Walks `list`; false when an operation failed or the list was refused.
[[nodiscard]] bool walk_file_list(EngineState* st, const wchar_t* list, const WalkRules& rules,
                                  FileOperation operation, void* context);

// The same for the list an argument holds, in either text form.
[[nodiscard]] bool walk_list_argument(EngineState* st, const Value& list, const WalkRules& rules,
                                      FileOperation operation, void* context);

// The specifications of a list one at a time: *at starts at the list and
// moves past each one; false when none is left. Too long a one raises 3054.
[[nodiscard]] bool next_spec(EngineState* st, const wchar_t** at, PathText* wanted, bool* got);

// Whether a found name passes the long-name re-check against the
// file pattern's last component (IntControl 91 picks the rule).
bool name_passes(EngineState* st, const wchar_t* found, const wchar_t* pattern);

// What a find keeps.
enum class FindKind { Files, Directories };
// Called with the file pattern's directory (as written, with its "\")
// and each entry kept; false stops.
typedef bool (*FoundEntry)(EngineState* st, const wchar_t* directory, const WIN32_FIND_DATAW& entry,
                           void* context);
// Enumerates one file pattern; *matched counts the entries kept. Hidden
// and system entries are skipped when `skip_hidden` is set.
[[nodiscard]] bool find_entries(EngineState* st, const wchar_t* wanted, FindKind kind, bool skip_hidden,
                                FoundEntry found, void* context, size_t* matched);

// find_entries over every file pattern of the list an argument holds.
[[nodiscard]] bool find_list_argument(EngineState* st, const Value& list, FindKind kind, bool skip_hidden,
                                      FoundEntry found, void* context);

// The destination of `source` under the destination argument: a directory,
// a full name or a wildcard mask. False when no name can be made.
bool map_destination(const wchar_t* source, const wchar_t* destination, PathText* out);
// The name that `mask` makes of `name` (base name and extension apart).
void map_name(const wchar_t* mask, const wchar_t* name, PathText* out);
