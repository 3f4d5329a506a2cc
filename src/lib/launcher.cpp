// Program launching: the mode checks, the shell path for verbs, the search
// for what a program name stands for, and the waits after a start.
#include "lib/launcher.h"

#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/messages.h"
#include "lang/pump.h"
#include "lib/app_paths.h"
#include "lib/shortcut_target.h"

namespace {

// The IntControl requests whose settings a launch reads or keeps.
constexpr int kStartOptionRequest = 51;
constexpr int kLastExitCodeRequest = 64;
constexpr int kIdleWaitRequest = 74;
constexpr int32_t kNoExitCode = 99999;

// CreateProcess takes command lines up to this length.
constexpr size_t kCommandUnits = 32768;
// The waits look at the cancel keys at least this often.
constexpr DWORD kWaitPollMilliseconds = 250;
constexpr DWORD kWaitPause = 20;
// Shell results above this are successes; the rest are the classic codes.
constexpr INT_PTR kShellSuccessAbove = 32;

typedef BOOL(WINAPI* CreateWithLogon)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                      LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// ------------------------------------------------------------------ modes

bool valid_display(int32_t display) {
    return display == DISPLAY_ICON || display == DISPLAY_NORMAL || display == DISPLAY_ZOOMED ||
           display == DISPLAY_HIDDEN || display == DISPLAY_HIDDEN_TOO;
}

bool valid_wait(int32_t wait) { return wait >= WAIT_NONE && wait <= WAIT_EXIT_CODE; }

WORD show_command(int32_t display) {
    switch (display) {
    case DISPLAY_ICON: return SW_SHOWMINIMIZED;
    case DISPLAY_ZOOMED: return SW_SHOWMAXIMIZED;
    case DISPLAY_NORMAL: return SW_SHOWNORMAL;
    default: return SW_HIDE;
    }
}

bool waits_for_end(int32_t wait) { return wait == WAIT_END || wait == WAIT_EXIT_CODE; }

// ------------------------------------------------------------------ shell codes

// The error of a classic launch code: the codes that have a text of their
// own map to 1900 + code, a missing or incomplete association to 1933,
// anything else to 1932.
uint16_t shell_error(INT_PTR code) {
    switch (code) {
    case 0: case 2: case 3: case 5: case 6: case 8:
    case 10: case 11: case 12: case 13: case 14: case 15: case 16:
    case 17: case 18: case 19: case 20: case 21:
        return static_cast<uint16_t>(static_cast<uint16_t>(Err::WinExec0OutOfMemory) + code);
    case SE_ERR_NOASSOC:
    case SE_ERR_ASSOCINCOMPLETE: return static_cast<uint16_t>(Err::WinExecNoAssociation);
    default: return static_cast<uint16_t>(Err::WinExecFailed);
    }
}

const wchar_t* or_null(const wchar_t* text) { return text && *text ? text : nullptr; }

// ------------------------------------------------------------------ one launch

// The state of one launch: its request, the command-line buffer and what
// the attempts left.
class Launch {
public:
    Launch(EngineState* st, const LaunchRequest& request) : st_(st), r_(request) {}
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;
    ~Launch() {
        if (process_) CloseHandle(process_);
        if (thread_) CloseHandle(thread_);
        if (line_) HeapFree(GetProcessHeap(), 0, line_);
        if (advapi_) FreeLibrary(advapi_);
    }

    bool run(int32_t* result);

private:
    bool prepare();
    bool start_by_shell(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters, INT_PTR* code);
    bool start_shell_kind();
    bool start_process_kind();
    bool start_from_app_paths();
    bool create(const wchar_t* head, bool quote, const wchar_t* parameters);
    bool start_shortcut_or_document();
    bool report_failure();
    bool failed(DWORD code) {
        last_failure_ = code;
        if (!first_failure_) first_failure_ = code;
        return false;
    }
    bool wait_for_end();

    EngineState* st_;
    const LaunchRequest& r_;
    WORD show_ = SW_SHOWNORMAL;
    HMODULE advapi_ = nullptr;  // held while the logon service may be called
    CreateWithLogon logon_start_ = nullptr;
    wchar_t* line_ = nullptr;
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD process_id_ = 0;
    DWORD first_failure_ = 0;  // the platform's code of the first failed start, for the report
    DWORD last_failure_ = 0;   // and of the latest one, which decides the next step
};

bool Launch::prepare() {
    if (r_.kind != LaunchKind::Print && !valid_wait(r_.wait)) return raise(st_, Err::ExecuteBadWait);
    if (!valid_display(r_.display)) return raise(st_, Err::ExecuteBadDisplayType);
    show_ = show_command(r_.display);
    if (r_.account) {
        advapi_ = LoadLibraryA("ADVAPI32.DLL");
        logon_start_ = advapi_ ? reinterpret_cast<CreateWithLogon>(
                                     reinterpret_cast<void*>(GetProcAddress(advapi_, "CreateProcessWithLogonW")))
                               : nullptr;
        if (!logon_start_) return raise(st_, Err::RunWithLogonNotSupported);
    }
    line_ = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, kCommandUnits * sizeof(wchar_t)));
    if (!line_) return raise(st_, Err::AllocFailed);
    st_->ic_setting[kLastExitCodeRequest] = kNoExitCode;
    if (st_->sounds && show_ != SW_HIDE)
        PlaySoundW(L"StartProgram", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
    return true;
}

// The shell's execution of `verb`; the process handle is kept when the
// shell hands one back (it does not for a program already running that
// takes the document itself).
bool Launch::start_by_shell(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters, INT_PTR* code) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = or_null(verb);
    info.lpFile = file;
    info.lpParameters = or_null(parameters);
    info.lpDirectory = or_null(r_.directory);
    info.nShow = show_;
    const BOOL done = ShellExecuteExW(&info);
    *code = reinterpret_cast<INT_PTR>(info.hInstApp);
    if (!done || *code <= kShellSuccessAbove) {
        if (info.hProcess) CloseHandle(info.hProcess);
        return failed(GetLastError());
    }
    process_ = info.hProcess;
    process_id_ = process_ ? GetProcessId(process_) : 0;
    return true;
}

bool Launch::start_shell_kind() {
    const wchar_t* verb = r_.kind == LaunchKind::Print ? L"print" : r_.verb;
    INT_PTR code = 0;
    if (start_by_shell(verb, r_.program, r_.kind == LaunchKind::Print ? nullptr : r_.parameters, &code))
        return true;
    return raise(st_, shell_error(code));
}

// Creates the process of `head` (quoted when asked) followed by a space
// and the parameters.
bool Launch::create(const wchar_t* head, bool quote, const wchar_t* parameters) {
    const wchar_t* format = quote ? (*parameters ? L"\"%ls\" %ls" : L"\"%ls\"")
                                  : (*parameters ? L"%ls %ls" : L"%ls");
    const int n = _snwprintf(line_, kCommandUnits, format, head, parameters);
    if (n < 0 || static_cast<size_t>(n) >= kCommandUnits) return failed(ERROR_FILENAME_EXCED_RANGE);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show_;
    const DWORD flags = static_cast<DWORD>(st_->ic_setting[kStartOptionRequest]);
    PROCESS_INFORMATION pi = {};
    BOOL done;
    if (r_.account) {
        startup.lpDesktop = const_cast<wchar_t*>(L"winsta0\\default");
        done = logon_start_(r_.account->user, or_null(r_.account->domain), r_.account->password,
                            r_.account->logon_flags, nullptr, line_, flags, nullptr, or_null(r_.directory),
                            &startup, &pi);
    } else {
        done = CreateProcessW(nullptr, line_, nullptr, nullptr, FALSE, flags, nullptr, or_null(r_.directory),
                              &startup, &pi);
    }
    if (!done) return failed(GetLastError());
    process_ = pi.hProcess;
    thread_ = pi.hThread;
    process_id_ = pi.dwProcessId;
    return true;
}

// A registered program starts from its entry's command, with the entry's
// folders in front of PATH for as long as the start takes.
bool Launch::start_from_app_paths() {
    auto* entry = static_cast<AppPathEntry*>(HeapAlloc(GetProcessHeap(), 0, sizeof(AppPathEntry)));
    if (!entry) return false;
    bool started = false;
    if (find_app_path(st_, r_.program, entry)) {
        PathPrefix path;
        started = path.prepend(entry->folders) && create(entry->command, false, r_.parameters);
    }
    HeapFree(GetProcessHeap(), 0, entry);
    return started;
}

// The last resort: a shortcut found along the search path starts its
// target; any other file found is opened as a document.
bool Launch::start_shortcut_or_document() {
    wchar_t found[MAX_PATH];
    const DWORD n = SearchPathW(nullptr, r_.program, L".lnk", MAX_PATH, found, nullptr);
    if (n == 0 || n >= MAX_PATH) return false;
    const wchar_t* dot = wcsrchr(found, L'.');
    if (dot && lstrcmpiW(dot, L".lnk") == 0) {
        wchar_t target[MAX_PATH];
        if (shortcut_target(found, target, MAX_PATH) && create(target, true, r_.parameters)) return true;
    }
    INT_PTR code = 0;
    return start_by_shell(L"open", found, r_.parameters, &code);
}

bool Launch::start_process_kind() {
    if (start_from_app_paths()) return true;
    const bool quoted = r_.program[0] == L'"';
    if (create(r_.program, !quoted, r_.parameters)) return true;
    if (!quoted && last_failure_ == ERROR_FILE_NOT_FOUND && create(r_.program, false, r_.parameters)) return true;
    if (start_shortcut_or_document()) return true;
    return report_failure();
}

// 1932, with "WinExec Error:" and the platform's text for the first
// failure in the additional error information.
bool Launch::report_failure() {
    char caption[LINE_BUFFER_BYTES] = "";
    message_text(st_, static_cast<int>(Err::WinExecErrorCaption), caption, sizeof caption);
    char reason[LINE_BUFFER_BYTES] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, first_failure_, 0, reason,
                   sizeof reason, nullptr);
    for (size_t n = strlen(reason); n && (reason[n - 1] == '\r' || reason[n - 1] == '\n'); --n) reason[n - 1] = 0;
    if (!reason[0]) snprintf(reason, sizeof reason, "error %lu", static_cast<unsigned long>(first_failure_));
    char text[2 * LINE_BUFFER_BYTES];
    snprintf(text, sizeof text, "%s\n\n    %s", caption, reason);
    AddErrorInfo(st_, text);
    return raise(st_, Err::WinExecFailed);
}

// Until the process ends: wait for it or for a message, pump, and give up
// when the script is cancelled. Then keep its exit code.
bool Launch::wait_for_end() {
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &process_, FALSE, kWaitPollMilliseconds, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
        if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) break;
        PumpMessages(st_);
        if (st_->cancel_requested || st_->error) return false;
        Sleep(kWaitPause);
    }
    DWORD code = 0;
    if (GetExitCodeProcess(process_, &code)) st_->ic_setting[kLastExitCodeRequest] = static_cast<int32_t>(code);
    return true;
}

bool Launch::run(int32_t* result) {
    *result = 0;
    CHECK(prepare());
    CHECK(r_.kind == LaunchKind::Process ? start_process_kind() : start_shell_kind());
    const int32_t idle_wait = st_->ic_setting[kIdleWaitRequest];
    if (idle_wait > 0 && process_) WaitForInputIdle(process_, static_cast<DWORD>(idle_wait));
    if (waits_for_end(r_.wait) && process_) CHECK(wait_for_end());
    if (r_.wait == WAIT_PROCESS_ID) *result = static_cast<int32_t>(process_id_);
    else if (r_.wait == WAIT_EXIT_CODE) *result = st_->ic_setting[kLastExitCodeRequest];
    else *result = 1;
    return true;
}

}  // namespace

bool launch(EngineState* st, const LaunchRequest& request, int32_t* result) {
    Launch one(st, request);
    return one.run(result);
}
