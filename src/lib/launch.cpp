// Program launching built-in functions: the Run family, RunShell,
// RunEnviron, ShellExecute, Print and RunWithLogon, each a thin row over
// the one launcher, and RunExit, which this version refuses.
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/launcher.h"
#include "lib/path_text.h"

namespace {

// The text arguments of one call as wide texts, freed with the call.
class WideArgs {
public:
    WideArgs() = default;
    WideArgs(const WideArgs&) = delete;
    WideArgs& operator=(const WideArgs&) = delete;
    ~WideArgs() {
        for (int i = 0; i < count_; ++i) HeapFree(GetProcessHeap(), 0, texts_[i]);
    }
    // Converts args[i] and keeps it; false with the error set.
    bool add(EngineState* st, const Value& arg, const wchar_t** out) {
        size_t units = 0;
        CHECK(arg_wide(st, arg, &texts_[count_], &units));
        *out = texts_[count_++];
        return true;
    }

private:
    wchar_t* texts_[8] = {};
    int count_ = 0;
};

void run_request(EngineState* st, Value* result, const LaunchRequest& request) {
    int32_t n = 0;
    if (launch(st, request, &n)) result->v.integer = n;
}

// Program and parameters from args[1] and args[2]; the rest as given.
bool program_and_parameters(EngineState* st, Value* args, WideArgs* texts, LaunchRequest* request) {
    return texts->add(st, args[1], &request->program) && texts->add(st, args[2], &request->parameters);
}

// The fixed modes of the plain Run functions.
struct RunModes {
    uint16_t id;
    int32_t display;
    int32_t wait;
};

constexpr RunModes kRunModes[] = {
    {keyword_id("run"), DISPLAY_NORMAL, WAIT_NONE},
    {keyword_id("runwait"), DISPLAY_NORMAL, WAIT_END},
    {keyword_id("runicon"), DISPLAY_ICON, WAIT_NONE},
    {keyword_id("runiconwait"), DISPLAY_ICON, WAIT_END},
    {keyword_id("runzoom"), DISPLAY_ZOOMED, WAIT_NONE},
    {keyword_id("runzoomwait"), DISPLAY_ZOOMED, WAIT_END},
    {keyword_id("runhide"), DISPLAY_HIDDEN, WAIT_NONE},
    {keyword_id("runhidewait"), DISPLAY_HIDDEN, WAIT_END},
};

// Run, RunWait, RunIcon, RunIconWait, RunZoom, RunZoomWait, RunHide,
// RunHideWait (program, parameters) -> 1
BUILTIN(launch_run) {
    for (const RunModes& modes : kRunModes) {
        if (modes.id != id) continue;
        WideArgs texts;
        LaunchRequest request{nullptr, nullptr, L"", modes.display, modes.wait, LaunchKind::Process, nullptr,
                              nullptr};
        if (program_and_parameters(st, args, &texts, &request)) run_request(st, result, request);
        return;
    }
}

// RunShell(program, parameters, directory, display, wait) -> 1, process id or exit code
BUILTIN(launch_run_shell) {
    WideArgs texts;
    LaunchRequest request{nullptr, nullptr, nullptr, args[4].v.integer, args[5].v.integer, LaunchKind::Process,
                          nullptr, nullptr};
    if (program_and_parameters(st, args, &texts, &request) && texts.add(st, args[3], &request.directory))
        run_request(st, result, request);
}

// RunEnviron(program, parameters, display, wait) -> 1, process id or exit code
BUILTIN(launch_run_environ) {
    WideArgs texts;
    LaunchRequest request{nullptr, nullptr, L"", args[3].v.integer, args[4].v.integer, LaunchKind::Process,
                          nullptr, nullptr};
    if (program_and_parameters(st, args, &texts, &request)) run_request(st, result, request);
}

// ShellExecute(program, parameters, directory, display, operation) -> 1
BUILTIN(launch_shell_execute) {
    WideArgs texts;
    LaunchRequest request{nullptr, nullptr, nullptr, args[4].v.integer, WAIT_NONE, LaunchKind::Shell, nullptr,
                          nullptr};
    if (program_and_parameters(st, args, &texts, &request) && texts.add(st, args[3], &request.directory) &&
        texts.add(st, args[5], &request.verb))
        run_request(st, result, request);
}

// Print(document, directory, display, wait) -> 1, process id or exit code
BUILTIN(launch_print) {
    WideArgs texts;
    LaunchRequest request{nullptr, L"", nullptr, args[3].v.integer, args[4].v.integer, LaunchKind::Print, nullptr,
                          nullptr};
    if (texts.add(st, args[1], &request.program) && texts.add(st, args[2], &request.directory))
        run_request(st, result, request);
}

// RunWithLogon(program, parameters, directory, display, wait, user, domain,
// password, logon flags) -> 1, process id or exit code
BUILTIN(launch_run_with_logon) {
    WideArgs texts;
    LogonAccount account{nullptr, nullptr, nullptr, static_cast<uint32_t>(args[9].v.integer)};
    LaunchRequest request{nullptr, nullptr, nullptr, args[4].v.integer, args[5].v.integer, LaunchKind::Process,
                          nullptr, &account};
    if (program_and_parameters(st, args, &texts, &request) && texts.add(st, args[3], &request.directory) &&
        texts.add(st, args[6], &account.user) && texts.add(st, args[7], &account.domain) &&
        texts.add(st, args[8], &account.password))
        run_request(st, result, request);
}

// RunExit(program, parameters): only 16-bit systems had it.
BUILTIN(launch_run_exit) { (void)raise(st, Err::RunExitNotSupported); }

}  // namespace

constexpr BuiltinRow kLaunchBuiltins[] = {
    BUILTIN_ROW("print", launch_print),
    BUILTIN_ROW("run", launch_run),
    BUILTIN_ROW("runenviron", launch_run_environ),
    BUILTIN_ROW("runexit", launch_run_exit),
    BUILTIN_ROW("runhide", launch_run),
    BUILTIN_ROW("runhidewait", launch_run),
    BUILTIN_ROW("runicon", launch_run),
    BUILTIN_ROW("runiconwait", launch_run),
    BUILTIN_ROW("runshell", launch_run_shell),
    BUILTIN_ROW("runwait", launch_run),
    BUILTIN_ROW("runwithlogon", launch_run_with_logon),
    BUILTIN_ROW("runzoom", launch_run),
    BUILTIN_ROW("runzoomwait", launch_run),
    BUILTIN_ROW("shellexecute", launch_shell_execute),
};
constexpr size_t kLaunchBuiltinCount = sizeof(kLaunchBuiltins) / sizeof(kLaunchBuiltins[0]);
