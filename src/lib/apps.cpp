// Running programs by name: whether one runs, and waiting until it has
// ended, both read from the platform's process list.
#include <windows.h>
#include <tlhelp32.h>
#include <stdlib.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/path_text.h"

namespace {

// Flag bit: the name is a process id, as @GETPROCID returns.
constexpr int32_t kByProcessId = 1;
// Further looks for a program not yet found are this far apart.
constexpr uint32_t kRetryMilliseconds = 500;
// AppWaitClose looks at the list this often.
constexpr uint32_t kPollMilliseconds = 250;

// What a process must match: its id, or its program file, by file name
// alone or, for a name given with a directory, by its full path.
struct AppName {
    DWORD process_id;
    PathText file;
    bool full_path;
};

bool app_name(EngineState* st, const Value& arg, int32_t flags, AppName* out) {
    CHECK(arg_path(st, arg, &out->file));
    out->process_id = 0;
    out->full_path = false;
    if (flags & kByProcessId) {
        out->process_id = wcstoul(out->file.s, nullptr, 10);
        return true;
    }
    out->full_path = name_part(out->file.s) != out->file.s;
    if (!extension_dot(name_part(out->file.s)) && !path_append(&out->file, L".EXE"))
        return raise(st, Err::UnrecognizableItem);
    return true;
}

bool full_image_matches(DWORD process_id, const wchar_t* file) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (!process) return false;
    wchar_t image[PATH_UNITS];
    DWORD units = PATH_UNITS;
    const bool same = QueryFullProcessImageNameW(process, 0, image, &units) && lstrcmpiW(image, file) == 0;
    CloseHandle(process);
    return same;
}

bool matches(const AppName& name, const PROCESSENTRY32W& entry) {
    if (name.process_id) return entry.th32ProcessID == name.process_id;
    if (name.full_path) return full_image_matches(entry.th32ProcessID, name.file.s);
    return lstrcmpiW(name_part(entry.szExeFile), name.file.s) == 0;
}

// Whether a process matching the name runs now.
bool app_running(const AppName& name) {
    if (name.process_id == 0 && name.file.s[0] == 0) return false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
        found = matches(name, entry);
    CloseHandle(snapshot);
    return found;
}

// Looks for the program once and then up to `retries` more times, a
// pause apart, until it is found or the script is cancelled.
bool find_app(EngineState* st, const AppName& name, int32_t retries) {
    for (int32_t look = 0;; ++look) {
        if (app_running(name)) return true;
        if (look >= retries || st->cancel_requested) return false;
        WaitPumping(st, kRetryMilliseconds);
    }
}

// AppExist(name, flags, retries) -> 1/0
BUILTIN(app_exist) {
    AppName name;
    if (!app_name(st, args[1], count >= 2 ? args[2].v.integer : 0, &name)) return;
    result->v.integer = find_app(st, name, count >= 3 ? args[3].v.integer : 0);
}

// AppWaitClose(name, flags, retries) -> 1 once the program has ended, 0
// when it was not running
BUILTIN(app_wait_close) {
    AppName name;
    if (!app_name(st, args[1], count >= 2 ? args[2].v.integer : 0, &name)) return;
    if (!find_app(st, name, count >= 3 ? args[3].v.integer : 0)) return;
    while (app_running(name)) {
        WaitPumping(st, kPollMilliseconds);
        if (st->cancel_requested) return;
    }
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kAppBuiltins[] = {
    BUILTIN_ROW("appexist", app_exist),
    BUILTIN_ROW("appwaitclose", app_wait_close),
};
constexpr size_t kAppBuiltinCount = sizeof(kAppBuiltins) / sizeof(kAppBuiltins[0]);
