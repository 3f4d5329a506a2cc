// IntControl(request, p1, p2, p3, p4): the script's door to the engine's
// internal switches. One row per request; requests without a row go to the
// host when its function table has an "intcontrol" entry.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/messages.h"
#include "lang/evaluator.h"
#include "lang/functions.h"
#include "lang/keyword_table.h"
#include "lang/numtext.h"
#include "lang/trace.h"
#include "lang/variables.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/file_table.h"
#include "lib/ymdhms.h"

namespace {

// A parameter's text is read as a decimal number from its first 19 characters.
constexpr size_t kNumberChars = 19;
constexpr size_t kHandlerNameChars = 30;
constexpr size_t kTerminationTextChars = 255;
// IntControl 90 starts its search for the largest heap block here.
constexpr uint32_t kLargestProbe = 32768;

// Termination flags of IntControl 12.
constexpr int32_t TERMINATION_KEEP_TEXT_MASK = 0x3;
constexpr int32_t TERMINATION_KEEP_TEXT = 0x2;
constexpr int32_t TERMINATION_NO_REPORT = 0x4;
constexpr int32_t TERMINATION_NO_CANCEL = 0x8;

// p1..p4 as the dispatcher converted them (text), and as numbers.
struct Request {
    int32_t number;
    const char* text[5];  // [1..4]
    int32_t value[5];
};

typedef bool (*RequestHandler)(EngineState* st, const Request& r, Value* result);

struct RequestRow {
    int32_t number;
    RequestHandler handler;
};

// ------------------------------------------------------------------ results

bool result_text(EngineState* st, Value* result, const char* text) {
    return set_value_text(st, &result->v, text, strlen(text));
}

// IntToText returns the digits after any sign; the whole text is the buffer.
bool result_number(EngineState* st, Value* result, int32_t n) {
    char text[INT_TEXT_BYTES];
    IntToText(n, text, 10);
    return result_text(st, result, text);
}

// The get-and-set pattern: p1 is stored only when it lies in [low, high];
// the result is the previous value either way.
bool get_and_set(EngineState* st, const Request& r, Value* result, int32_t* setting, int32_t low,
                 int32_t high) {
    const int32_t previous = *setting;
    if (r.value[1] >= low && r.value[1] <= high) *setting = r.value[1];
    return result_number(st, result, previous);
}

// ------------------------------------------------------------------ requests

// 12: termination flags; bit 3 disables Ctrl+Break, bit 2 the cancel report.
bool ic_termination(EngineState* st, const Request& r, Value* result) {
    const int32_t previous = st->termination_flags;
    const int32_t flags = r.value[1];
    if (flags >= 0) {
        st->termination_flags = flags;
        st->cancel_disabled = (flags & TERMINATION_NO_CANCEL) != 0;
        st->suppress_reports = (flags & TERMINATION_NO_REPORT) != 0;
        if ((flags & TERMINATION_KEEP_TEXT_MASK) == TERMINATION_KEEP_TEXT && strcmp(r.text[2], "0") != 0)
            lstrcpynA(st->termination_text, r.text[2], kTerminationTextChars + 1);
    }
    return result_number(st, result, previous);
}

// 29: the default item-list delimiter; an empty p1 only asks.
bool ic_delimiter(EngineState* st, const Request& r, Value* result) {
    const char* text = r.text[1];
    if (text[0] && text[1]) return raise(st, Err::IntControl29BadDelimiter);
    const char previous[2] = {default_item_delimiter(st), '\0'};
    if (text[0]) st->list_delimiter = text[0];
    return result_text(st, result, previous);
}

// The system's text for an error code, without its closing line end.
bool system_error_text(EngineState* st, DWORD code, Value* result) {
    char text[LINE_BUFFER_BYTES];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    text[n] = '\0';
    return result_text(st, result, text);
}

// 34: p2 = 1 the system's text for error p1, else the engine's message p1;
// -1 stands for the last system error, or the user error text.
bool ic_error_text(EngineState* st, const Request& r, Value* result) {
    const int32_t number = r.value[1];
    if (r.value[2] == 1)
        return system_error_text(st, number == -1 ? GetLastError() : static_cast<DWORD>(number), result);
    if (number == -1) return result_text(st, result, st->user_error_text);
    char text[LINE_BUFFER_BYTES];
    message_text(st, number, text, sizeof text);
    return result_text(st, result, text);
}

// 38: silent mode; a non-empty p2 becomes the log file.
bool ic_silent(EngineState* st, const Request& r, Value* result) {
    if (r.text[2][0]) lstrcpynA(st->log_file, r.text[2], sizeof st->log_file);
    return get_and_set(st, r, result, &st->silent, 0, 1);
}

// 5: file lists of dialogs and the itemize functions show hidden and system files.
bool ic_list_hidden(EngineState* st, const Request& r, Value* result) {
    const int32_t previous = st->list_hidden;
    st->list_hidden = r.value[1] != 0;
    return result_number(st, result, previous);
}

// 39 and 40: share modes of files opened for reading and for writing.
bool share_mode(EngineState* st, const Request& r, Value* result, int32_t* setting) {
    if (r.value[1] >= 4) return raise(st, Err::IntControl39BadShareMode);
    return get_and_set(st, r, result, setting, 0, 3);
}
bool ic_share_read(EngineState* st, const Request& r, Value* result) {
    return share_mode(st, r, result, &st->share_read);
}
bool ic_share_write(EngineState* st, const Request& r, Value* result) {
    return share_mode(st, r, result, &st->share_write);
}

// 53: the line end FileWrite appends.
bool ic_line_terminator(EngineState* st, const Request& r, Value* result) {
    return get_and_set(st, r, result, &st->line_terminator, 0, 4);
}

// 65: FileOpen's read buffer: -2 the whole file, 0 none, else bytes.
bool ic_read_buffer(EngineState* st, const Request& r, Value* result) {
    return get_and_set(st, r, result, &st->read_buffer_setting, -2, 0x7FFFFFFF);
}

// 91: the long-name re-check of wildcard lookups.
bool ic_name_recheck(EngineState* st, const Request& r, Value* result) {
    return get_and_set(st, r, result, &st->name_recheck, 0, 2);
}

// 94: the mode bits of the open file whose handle is p1, 0 for none.
bool ic_open_file(EngineState* st, const Request& r, Value* result) {
    const FileEntry* slot = find_file_slot(st, r.value[1]);
    return result_number(st, result, slot ? static_cast<int32_t>(slot->mode) : 0);
}

// 41: four-digit years in the YmdHms texts the time functions write.
bool ic_four_digit_years(EngineState* st, const Request& r, Value* result) {
    int32_t four = st->two_digit_years ? 0 : 1;
    const bool ok = get_and_set(st, r, result, &four, 0, 1);
    st->two_digit_years = four ? 0 : 1;
    return ok;
}

// 72 and 73: a handler mode; p2 = 1 discards the additional error
// information, and mode 3 names the handler function in p3.
bool handler_mode(EngineState* st, const Request& r, Value* result, int32_t* mode, char* name) {
    if (r.value[1] == 3) lstrcpynA(name, r.text[3], kHandlerNameChars + 1);
    if (r.value[2] == 1) free_error_info(st);
    return get_and_set(st, r, result, mode, 0, 3);
}
bool ic_cancel_handler(EngineState* st, const Request& r, Value* result) {
    return handler_mode(st, r, result, &st->cancel_handler_mode, st->cancel_handler_name);
}
bool ic_error_handler(EngineState* st, const Request& r, Value* result) {
    return handler_mode(st, r, result, &st->error_handler_mode, st->error_handler_name);
}

// 79: ErrorEvent(p1 severity, p2 code, p3 text), through the dispatcher so
// that its argument rules and errors are ErrorEvent's own.
bool ic_error_event(EngineState* st, const Request& r, Value* result) {
    Value args[4];
    for (Value& arg : args) init_value(&arg);
    SetInteger(&args[1].v, RK_VALUE, 0, r.value[1]);
    SetInteger(&args[2].v, RK_VALUE, 0, r.value[2]);
    Value outcome;
    init_value(&outcome);
    bool ok = result_text(st, &args[3], r.text[3]) &&
              DispatchFunction(st, "errorevent", false, keyword_id("errorevent"), &outcome, args, 3) &&
              ToString(st, &outcome.v) && result_text(st, result, value_text(st, outcome.v));
    release_value(st, &outcome);
    for (Value& arg : args) release_value(st, &arg);
    return ok;
}

// 87: the error mode of Execute.
bool ic_execute_mode(EngineState* st, const Request& r, Value* result) {
    return get_and_set(st, r, result, &st->execute_error_mode, 0, 2);
}

// 89: the value of the variable named p1, as text.
bool ic_variable_text(EngineState* st, const Request& r, Value* result) {
    char text[LINE_BUFFER_BYTES];
    if (GetVariableText(st, r.text[1], text, sizeof text)) return result_text(st, result, text);
    // The lookup's own error (3051 no such variable, 3052 never assigned).
    find_var(st, r.text[1], 0);
    return result_text(st, result, "") && st->error == 0;
}

// Whether the heap can give a block of `size` bytes now; the trial block
// is filled with `fill` and freed.
bool heap_block_fits(EngineState* st, uint32_t size, char fill) {
    const uint32_t block = VMalloc(st, size);
    if (!block) return false;
    memset(heap_at(st, block), fill, size);
    VFree(st, block);
    return true;
}

// 90: the largest string block the heap can give now, by halving between
// a failing and a succeeding size.
bool ic_largest_block(EngineState* st, const Request& r, Value* result) {
    const char fill = r.text[1][0];
    uint32_t good = 0, bad = kLargestProbe;
    if (heap_block_fits(st, bad, fill)) return result_number(st, result, static_cast<int32_t>(bad));
    while (bad - good > 1) {
        const uint32_t middle = good + (bad - good) / 2;
        if (heap_block_fits(st, middle, fill))
            good = middle;
        else
            bad = middle;
    }
    return result_number(st, result, static_cast<int32_t>(good));
}

// 7: every line the run loop reads also goes to the debugger output.
bool ic_debug_output(EngineState* st, const Request& r, Value* result) {
    const int32_t previous = st->debug_output ? 1 : 0;
    st->debug_output = r.value[1] != 0;
    return result_number(st, result, previous);
}

// 71: trace dumps on request (1 functions, 3 variables) and trace option bit 2.
bool ic_trace_dump(EngineState* st, const Request& r, Value* result) {
    switch (r.value[1]) {
    case 1:
        if (tracing(st)) trace_dump_functions(st);
        break;
    case 2:
        if (r.value[2])
            st->trace_options |= TRACE_OPTION_BIT2;
        else
            st->trace_options &= ~TRACE_OPTION_BIT2;
        break;
    case 3:
        if (tracing(st)) trace_dump_variables(st);
        break;
    default:
        return result_number(st, result, 0);
    }
    return result_number(st, result, 1);
}

// 78: discards every user-defined function; the number of bodies freed.
bool ic_discard_functions(EngineState* st, const Request&, Value* result) {
    int freed = 0;
    CHECK(DiscardFunctions(st, &freed));
    return result_number(st, result, freed);
}

// 42: the memory address of binary buffer p1, 0 when p1 names none.
bool ic_buffer_address(EngineState* st, const Request& r, Value* result) {
    char text[ADDRESS_TEXT_BYTES];
    address_text(binary_buffer_address(st, r.value[1]), text);
    return result_text(st, result, text);
}

// ------------------------------------------------------------------ stored settings

// How a stored request reads p1: a switch stores any non-zero p1 as 1; a
// range stores p1 when it lies in [low, high] and keeps p2 beside it when
// `second` is set.
enum class Store { Switch, Range };

struct StoredRow {
    int32_t number;
    Store kind;
    int32_t low, high;
    bool second;
};

constexpr int32_t kAny = INT32_MIN;
constexpr int32_t kMost = INT32_MAX;

// Settings that other families read; the requests only keep them.
constexpr StoredRow kStored[] = {
    {1, Store::Range, 0, kMost, false},   {4, Store::Switch, 0, 1, false},    {5, Store::Switch, 0, 1, false},
    {21, Store::Range, 0, kMost, false},  {22, Store::Range, 0, kMost, false}, {28, Store::Range, 0, 2, false},
    {33, Store::Switch, 0, 1, false},     {35, Store::Range, 0, kMost, true},  {36, Store::Range, 0, kMost, false},
    {43, Store::Range, 0, 1, false},      {45, Store::Range, 0, 1, false},     {46, Store::Range, 0, kMost, false},
    {47, Store::Range, 0, kMost, false},  {48, Store::Range, 0, kMost, false}, {49, Store::Range, 0, kMost, true},
    {51, Store::Range, kAny, kMost, false}, {52, Store::Range, 0, kMost, false}, {53, Store::Range, 0, kMost, false},
    {54, Store::Range, 0, kMost, false},  {55, Store::Range, 0, kMost, false}, {56, Store::Range, 0, kMost, false},
    {61, Store::Range, 0, 5, false},      {63, Store::Range, 0, kMost, false}, {64, Store::Range, 0, kMost, false},
    {65, Store::Range, 0, kMost, false},  {74, Store::Range, 0, kMost, false}, {75, Store::Range, 0, kMost, false},
    {76, Store::Range, 0, kMost, false},  {85, Store::Range, 0, kMost, false}, {88, Store::Range, 0, 1, false},
    {91, Store::Range, 0, kMost, false},  {92, Store::Range, 0, kMost, false},
};

const StoredRow* stored_row(int32_t number) {
    for (const StoredRow& row : kStored)
        if (row.number == number) return &row;
    return nullptr;
}

bool stored_setting(EngineState* st, const Request& r, Value* result) {
    const StoredRow& row = *stored_row(r.number);
    int32_t* setting = &st->ic_setting[r.number];
    if (row.kind == Store::Switch) {
        const int32_t previous = *setting;
        *setting = r.value[1] != 0;
        return result_number(st, result, previous);
    }
    const bool in_range = r.value[1] >= row.low && r.value[1] <= row.high;
    if (row.second && in_range) st->ic_second_setting[r.number] = r.value[2];
    return get_and_set(st, r, result, setting, row.low, row.high);
}

// 62: the foreground method of the engine's own boxes: 0 to 5, or -2.
bool ic_own_foreground(EngineState* st, const Request& r, Value* result) {
    const int32_t previous = st->ic_setting[62];
    if ((r.value[1] >= 0 && r.value[1] <= 5) || r.value[1] == -2) st->ic_setting[62] = r.value[1];
    return result_number(st, result, previous);
}


// 13: p2 into option slot p1 (0 to 10); other slots do nothing.
bool ic_option_slot(EngineState* st, const Request& r, Value* result) {
    if (r.value[1] >= 0 && r.value[1] < IC_OPTION_SLOTS) st->ic_option_slot[r.value[1]] = r.value[2];
    return result_number(st, result, 1);
}

// 70: p2 = 1 the post delay of request 23, else the second delay; a
// negative p1 only asks.
bool ic_delays(EngineState* st, const Request& r, Value* result) {
    int32_t* setting = r.value[2] == 1 ? &st->ic_setting[70] : &st->ic_second_setting[70];
    return get_and_set(st, r, result, setting, 0, kMost);
}

// 50: the support-address button; a p2 other than "0" becomes the address.
bool ic_support_address(EngineState* st, const Request& r, Value* result) {
    if (r.value[1] == 0 || r.value[1] == 1) {
        if (strcmp(r.text[2], "0") != 0 && r.text[2][0])
            lstrcpynA(st->support_address, r.text[2], sizeof st->support_address);
    }
    return get_and_set(st, r, result, &st->ic_setting[50], 0, 1);
}

// ------------------------------------------------------------------ windows and messages

HWND window_of(int32_t value) { return reinterpret_cast<HWND>(static_cast<intptr_t>(value)); }

// 24: the parent of window p1, "0" when p1 is not a window.
bool ic_parent(EngineState* st, const Request& r, Value* result) {
    const HWND window = window_of(r.value[1]);
    if (!IsWindow(window)) return result_number(st, result, 0);
    return result_number(st, result, static_cast<int32_t>(reinterpret_cast<intptr_t>(GetParent(window))));
}

// 44: the class name of window p1, empty when p1 is not a window.
bool ic_class_name(EngineState* st, const Request& r, Value* result) {
    char name[256] = "";
    const HWND window = window_of(r.value[1]);
    if (IsWindow(window)) GetClassNameA(window, name, sizeof name);
    return result_text(st, result, name);
}

// The target of requests 59 and 60: -1 and 65535 mean every top-level window.
bool message_target(EngineState* st, int32_t value, HWND* out) {
    if (value == -1 || value == 0xFFFF) {
        *out = HWND_BROADCAST;
        return true;
    }
    *out = window_of(value);
    return IsWindow(*out) || raise(st, Err::IntControlWindowNotFound);
}

constexpr UINT kSendTimeout = 1000;

bool send_text_message(EngineState* st, HWND target, UINT message, const char* text, Value* result) {
    SendMessageTimeoutA(target, message, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kSendTimeout,
                        nullptr);
    return result_number(st, result, 1);
}

// 59: WM_WININICHANGE with section p2.
bool ic_ini_change(EngineState* st, const Request& r, Value* result) {
    HWND target;
    CHECK(message_target(st, r.value[1], &target));
    return send_text_message(st, target, WM_WININICHANGE, r.text[2], result);
}

// 60: WM_DEVMODECHANGE with device p2.
bool ic_device_change(EngineState* st, const Request& r, Value* result) {
    if (!r.text[2][0]) return raise(st, Err::IntControl60NoDevice);
    HWND target;
    CHECK(message_target(st, r.value[1], &target));
    return send_text_message(st, target, WM_DEVMODECHANGE, r.text[2], result);
}

// ------------------------------------------------------------------ system operations

// Enables a privilege of the process token; false when it cannot be held.
bool enable_privilege(const char* name) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool ok = LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid) &&
                    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                    GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

// 58: sets the local time from a YmdHms text; the text is checked first.
bool ic_set_clock(EngineState* st, const Request& r, Value* result) {
    Ymdhms t;
    if (!parse_ymdhms(r.text[1], &t, YmdhmsCheck::Full, true)) return raise(st, Err::IntControlBadDate);
    if (!enable_privilege("SeSystemtimePrivilege")) return raise(st, Err::IntControlPrivilege);
    SYSTEMTIME local = ymdhms_system_time(t);
    return result_number(st, result, SetLocalTime(&local) ? 1 : 0);
}

// 66, 67, 68: ends the session; on success the script is cancelled
// without the cancel report.
bool exit_windows(EngineState* st, const Request& r, Value* result, UINT how) {
    if (how != EWX_LOGOFF && !enable_privilege("SeShutdownPrivilege")) return raise(st, Err::NtSecurityViolation);
    if (r.value[2]) how |= EWX_FORCE;
    if (ExitWindowsEx(how, 0)) {
        st->suppress_reports = 1;
        st->cancel_requested = 1;
    }
    return result_number(st, result, 0);
}
bool ic_log_off(EngineState* st, const Request& r, Value* result) { return exit_windows(st, r, result, EWX_LOGOFF); }
bool ic_restart(EngineState* st, const Request& r, Value* result) { return exit_windows(st, r, result, EWX_REBOOT); }
bool ic_shut_down(EngineState* st, const Request& r, Value* result) {
    const UINT power = (r.value[3] == 0 || r.value[3] == 2) ? EWX_POWEROFF : 0;
    return exit_windows(st, r, result, EWX_SHUTDOWN | power);
}

// 69: SetSystemPowerState(p1, p2).
bool ic_power_state(EngineState* st, const Request& r, Value* result) {
    if (!enable_privilege("SeShutdownPrivilege")) return raise(st, Err::IntControlPrivilege);
    return result_number(st, result, SetSystemPowerState(r.value[1] != 0, r.value[2] != 0) ? 1 : 0);
}

// 57: the screen-saver-running switch.
bool ic_screen_saver(EngineState* st, const Request& r, Value* result) {
    BOOL previous = FALSE;
    const BOOL ok = SystemParametersInfoA(SPI_SCREENSAVERRUNNING, r.value[1] ? 1 : 0, &previous, 0);
    return result_number(st, result, ok ? 1 : 0);
}

// 81 and 82: seeds the random generator; -1 from the clock.
bool ic_seed(EngineState* st, const Request& r, Value* result) {
    srand(r.value[1] == -1 ? static_cast<unsigned>(GetTickCount()) : static_cast<unsigned>(r.value[1]));
    return result_number(st, result, 1);
}

// 83: replaced by the binary buffer functions.
bool ic_obsolete(EngineState* st, const Request&, Value*) { return raise(st, Err::IntControl83Obsolete); }

// 26 and 84: nothing to do; the message list is read from the resources
// on every lookup.
bool ic_nothing(EngineState* st, const Request&, Value* result) { return result_number(st, result, 1); }

// 80: waits until no key is held down, or the script is cancelled.
bool ic_wait_keys_up(EngineState* st, const Request&, Value* result) {
    constexpr DWORD kPoll = 250;
    for (;;) {
        bool held = false;
        for (int key = 1; key < 256 && !held; ++key) held = (GetAsyncKeyState(key) & 0x8000) != 0;
        if (!held || st->cancel_requested) break;
        Sleep(kPoll);
    }
    return result_number(st, result, 1);
}

constexpr RequestRow kRequests[] = {
    {5, ic_list_hidden},
    {7, ic_debug_output},
    {12, ic_termination},
    {13, ic_option_slot},
    {24, ic_parent},
    {26, ic_nothing},
    {29, ic_delimiter},
    {34, ic_error_text},
    {38, ic_silent},
    {39, ic_share_read},
    {40, ic_share_write},
    {41, ic_four_digit_years},
    {42, ic_buffer_address},
    {44, ic_class_name},
    {50, ic_support_address},
    {53, ic_line_terminator},
    {57, ic_screen_saver},
    {58, ic_set_clock},
    {59, ic_ini_change},
    {60, ic_device_change},
    {62, ic_own_foreground},
    {65, ic_read_buffer},
    {66, ic_log_off},
    {67, ic_restart},
    {68, ic_shut_down},
    {69, ic_power_state},
    {70, ic_delays},
    {71, ic_trace_dump},
    {72, ic_cancel_handler},
    {73, ic_error_handler},
    {78, ic_discard_functions},
    {79, ic_error_event},
    {80, ic_wait_keys_up},
    {81, ic_seed},
    {82, ic_seed},
    {83, ic_obsolete},
    {84, ic_nothing},
    {87, ic_execute_mode},
    {89, ic_variable_text},
    {90, ic_largest_block},
    {91, ic_name_recheck},
    {94, ic_open_file},
};

RequestHandler request_handler(int32_t number) {
    for (const RequestRow& row : kRequests)
        if (row.number == number) return row.handler;
    return stored_row(number) ? stored_setting : nullptr;
}

// ------------------------------------------------------------------ the host's requests

// Index of the host's "intcontrol" entry; -1 when there is none. The host's
// table ends at its first entry with an empty name.
int host_intcontrol_entry(const EngineState* st) {
    const auto* table = static_cast<const KeywordEntry*>(st->host_keywords);
    if (!table) return -1;
    for (int i = 0; i <= HOST_ID_LAST - HOST_ID_BASE && table[i].length != 0; ++i)
        if (table[i].length == 10 && memcmp(table[i].name, "intcontrol", 10) == 0) return i;
    return -1;
}

// A request without a row: the host's IntControl gets the request number
// as text with p1..p4; with none, 3171 and an empty result.
void unknown_request(EngineState* st, const Request& r, Value* result, Value* args) {
    const int entry = host_intcontrol_entry(st);
    if (entry < 0) {
        if (result_text(st, result, "")) raise(st, Err::IntControlBadOpcode);
        return;
    }
    char number[INT_TEXT_BYTES];
    IntToText(r.number, number, 10);
    if (!set_value_text(st, &args[1].v, number, strlen(number))) return;
    (void)DispatchFunction(st, "intcontrol", false, static_cast<uint16_t>(HOST_ID_BASE + entry), result,
                           args, 5);
}

int32_t parameter_number(const char* text) {
    char head[kNumberChars + 1];
    lstrcpynA(head, text, sizeof head);
    return TextToInt(head);
}

// IntControl(request, p1, p2, p3, p4)
BUILTIN(ic_dispatch) {
    Request r;
    r.number = args[1].v.integer;
    r.text[0] = "";
    r.value[0] = r.number;
    for (int i = 1; i <= 4; ++i) {
        const char* text = i + 1 <= count ? value_text(st, args[i + 1].v) : nullptr;
        r.text[i] = text ? text : "";
        r.value[i] = parameter_number(r.text[i]);
    }
    const RequestHandler handler = request_handler(r.number);
    if (!handler) return unknown_request(st, r, result, args);
    if (handler(st, r, result) && !(result->v.flags & VF_STRING)) result_text(st, result, "1");
}

}  // namespace

constexpr BuiltinRow kIntControlBuiltins[] = {
    BUILTIN_ROW("intcontrol", ic_dispatch),
};
constexpr size_t kIntControlBuiltinCount = sizeof(kIntControlBuiltins) / sizeof(kIntControlBuiltins[0]);
