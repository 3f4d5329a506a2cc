// Programs registered under the machine's App Paths key: the command that
// starts a registered program by its bare name, and the folders its entry
// puts in front of PATH for the new process.
#pragma once

#include <windows.h>
#include <stddef.h>

struct EngineState;

// Room for an entry's command and its folder list, terminator included.
constexpr size_t APP_PATH_UNITS = 2048;

struct AppPathEntry {
    wchar_t command[APP_PATH_UNITS];  // expanded, and quoted
    wchar_t folders[APP_PATH_UNITS];  // the entry's "Path" value; may be empty
};

// Looks `program` up by its file name (".EXE" added when it has none).
// False when no entry exists, or when the program was given with a
// directory and the entry names another file.
bool find_app_path(EngineState* st, const wchar_t* program, AppPathEntry* out);

// Puts folders in front of this process's PATH, which a new process
// inherits, and restores the previous value when it goes out of scope.
class PathPrefix {
public:
    PathPrefix() = default;
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;
    ~PathPrefix() { restore(); }

    // Nothing happens for an empty list; false when PATH cannot be set.
    bool prepend(const wchar_t* folders);
    void restore();

private:
    wchar_t* saved_ = nullptr;  // the previous value; null when PATH was unset
    bool changed_ = false;
};
