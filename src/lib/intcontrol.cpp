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
#include "lang/host_call.h"
#include "lang/keyword_table.h"
#include "lang/numtext.h"
#include "lang/pump.h"
#include "lang/trace.h"
#include "lang/variables.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/file_table.h"
#include "lib/intcontrol.h"
#include "lib/text_ops.h"
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
    Value* args;          // the call's arguments, for requests that pass them on
    int count;
};

typedef bool (*RequestHandler)(EngineState* st, const Request& r, Value* result);

// One request: its handler and the line the request list in the
// documentation shows for it.
struct RequestRow {
    int32_t number;
    RequestHandler handler;
    const char* summary;
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
    const char* summary;
};

constexpr int32_t kAny = INT32_MIN;
constexpr int32_t kMost = INT32_MAX;

// Settings that other families read; the requests only keep them.
constexpr StoredRow kStored[] = {
    {1, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {4, Store::Switch, 0, 1, false, "switch kept for other families"},
    {21, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {22, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {28, Store::Range, 0, 2, false, "dialog list-box font: 0 default, 1 fixed system font, 2 GUI font"},
    {33, Store::Switch, 0, 1, false, "switch kept for other families"},
    {35, Store::Range, 0, kMost, true, "pause between sent keystrokes in ms; p2 a second keystroke delay"},
    {36, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {37, Store::Range, 0, kMost, false, "setting of the DDE conversations (0 or more)"},
    {43, Store::Range, 0, 1, false, "how keystroke sending examines the foreground window (0/1)"},
    {45, Store::Range, 0, 1, false, "how keystroke sending treats the foreground window (0/1)"},
    {46, Store::Range, 0, kMost, false, "window-name matching mode (0 or more)"},
    {47, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {48, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {49, Store::Range, 0, kMost, true, "dialog style bits (bit 0: system menu and minimise box); p2 kept beside"},
    {51, Store::Range, kAny, kMost, false, "start option of program launching (any number)"},
    {52, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {54, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {55, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {56, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {61, Store::Range, 0, 5, false, "method of bringing windows to the foreground (0 to 5)"},
    {63, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {64, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {74, Store::Range, 0, kMost, false, "ms launching waits for a started program to become idle"},
    {75, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {76, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {85, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
    {88, Store::Range, 0, 1, false, "send keystrokes with SendInput (0/1)"},
    {92, Store::Range, 0, kMost, false, "setting kept for other families (0 or more)"},
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

// 20: the owner of the engine's dialogs (the host window's parent).
bool ic_owner_window(EngineState* st, const Request&, Value* result) {
    return result_number(st, result, static_cast<int32_t>(reinterpret_cast<intptr_t>(st->owner_window)));
}

// The tab-delimited list an enumeration callback collects: each window's
// handle as a decimal text, or its class name.
struct WindowList {
    EngineState* st;
    TextBuffer<char> text;
    bool ok = true;
    bool classes;  // class names instead of handles
};

BOOL CALLBACK collect_window(HWND window, LPARAM data) {
    auto* list = reinterpret_cast<WindowList*>(data);
    char item[256];
    if (list->classes) {
        if (!GetClassNameA(window, item, sizeof item)) item[0] = '\0';
    } else {
        IntToText(static_cast<int32_t>(reinterpret_cast<intptr_t>(window)), item, 10);
    }
    const char tab = '\t';
    list->ok = (list->text.size() == 0 || list->text.append(list->st, &tab, 1)) &&
               list->text.append(list->st, item, strlen(item));
    return list->ok;
}

// 25: the class names of all windows below the first top-level window of
// class p1; empty when there is no such window.
bool ic_child_classes(EngineState* st, const Request& r, Value* result) {
    WindowList list{st, {}, true, true};
    const HWND top = r.text[1][0] ? FindWindowA(r.text[1], nullptr) : nullptr;
    if (top) EnumChildWindows(top, collect_window, reinterpret_cast<LPARAM>(&list));
    return list.ok && list.text.to_result(st, result);
}

// 31: the handles of the top-level windows, tab-delimited, topmost first.
bool ic_top_windows(EngineState* st, const Request&, Value* result) {
    WindowList list{st, {}, true, false};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&list));
    return list.ok && list.text.to_result(st, result);
}

// -1 and 65535 address every top-level window.
HWND window_or_broadcast(int32_t value) {
    return value == -1 || value == 0xFFFF ? HWND_BROADCAST : window_of(value);
}

// The target of requests 59 and 60: a window, or every top-level window.
bool message_target(EngineState* st, int32_t value, HWND* out) {
    *out = window_or_broadcast(value);
    return *out == HWND_BROADCAST || IsWindow(*out) || raise(st, Err::IntControlWindowNotFound);
}

// 23: posts message p2 to p1 with the low word of p3 and p4; a successful
// post is followed by the post delay, so that the receiver can act first.
bool ic_post_message(EngineState* st, const Request& r, Value* result) {
    const WPARAM wparam = static_cast<WPARAM>(r.value[3] & 0xFFFF);
    const LPARAM lparam = static_cast<LPARAM>(r.value[4]);
    const BOOL posted = PostMessageA(window_or_broadcast(r.value[1]), static_cast<UINT>(r.value[2]), wparam, lparam);
    const int32_t delay = st->ic_setting[70];
    if (posted && delay > 0) WaitPumping(st, static_cast<uint32_t>(delay));
    return result_number(st, result, posted ? 1 : 0);
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

// ------------------------------------------------------------------ files and memory

// Length of the drive or share a full path begins with: "C:" or
// "\\server\share".
size_t root_length(const char* path) {
    if (path[0] && path[1] == ':') return 2;
    if (path[0] != '\\' || path[1] != '\\') return 0;
    size_t n = 2;
    for (int separators = 0; path[n] && separators < 2; ++n)
        if (path[n] == '\\') ++separators;
    return n;
}

bool same_root(const char* a, const char* b) {
    const size_t n = root_length(a);
    const int length = static_cast<int>(n);
    return n == root_length(b) &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, length, b, length) == CSTR_EQUAL;
}

// 30: moves p1 to p2, replacing p2, when the system next starts; an empty
// p2 deletes p1 then. Result "1" when the operation was recorded, "0" when
// the system refused it; a full target drive is an error of its own.
bool ic_move_at_restart(EngineState* st, const Request& r, Value* result) {
    char source[MAX_PATH], target[MAX_PATH];
    const DWORD source_length = GetFullPathNameA(r.text[1], sizeof source, source, nullptr);
    if (!r.text[1][0] || source_length == 0 || source_length >= sizeof source ||
        GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES)
        return raise(st, Err::IntControl30SourceNotFound);
    const char* destination = nullptr;
    if (r.text[2][0]) {
        const DWORD target_length = GetFullPathNameA(r.text[2], sizeof target, target, nullptr);
        if (target_length == 0 || target_length >= sizeof target) return raise(st, Err::IntControl30BadTarget);
        if (!same_root(source, target)) return raise(st, Err::IntControl30DifferentDrive);
        destination = target;
    }
    const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (destination ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExA(source, destination, flags)) return result_number(st, result, 1);
    const DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return raise(st, Err::FileMoveNoSpace);
    return result_number(st, result, 0);
}

// Whether every byte of [address, address + size) lies in committed memory
// that allows the access, so that touching it cannot fault.
bool memory_allows(uintptr_t address, size_t size, bool write) {
    constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    constexpr DWORD kReadable = kWritable | PAGE_READONLY | PAGE_EXECUTE_READ;
    const uintptr_t end = address + size;
    if (address == 0 || end < address) return false;
    for (uintptr_t p = address; p < end;) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(reinterpret_cast<const void*>(p), &info, sizeof info)) return false;
        if (info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) ||
            !(info.Protect & (write ? kWritable : kReadable)))
            return false;
        p = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    }
    return true;
}

// The size of a request 32 data type, 0 for none.
size_t memory_item_size(const char* type) {
    if (lstrcmpiA(type, "BYTE") == 0) return 1;
    if (lstrcmpiA(type, "WORD") == 0) return 2;
    if (lstrcmpiA(type, "LONG") == 0) return 4;
    return 0;
}

// 32: reads (p3 0) or writes (p3 1) a BYTE, WORD or LONG at address p1;
// the address is read whole, as addresses may pass 32 bits. A byte reads
// sign-extended, a word unsigned.
bool ic_memory(EngineState* st, const Request& r, Value* result) {
    const size_t size = memory_item_size(r.text[2]);
    if (!size) return raise(st, Err::IntControl32BadType);
    const int32_t operation = r.value[3];
    if (operation != 0 && operation != 1) return raise(st, Err::IntControl32BadOperation);
    const uintptr_t address = static_cast<uintptr_t>(strtoull(r.text[1], nullptr, 10));
    void* at = reinterpret_cast<void*>(address);
    if (operation == 1) {
        if (!memory_allows(address, size, true)) return raise(st, Err::IntControl32WriteFailed);
        memcpy(at, &r.value[4], size);  // the low bytes on this little-endian platform
        return result_number(st, result, 1);
    }
    if (!memory_allows(address, size, false)) return raise(st, Err::IntControl32ReadFailed);
    int8_t byte;
    uint16_t word;
    int32_t number;
    switch (size) {
    case 1: memcpy(&byte, at, 1); return result_number(st, result, byte);
    case 2: memcpy(&word, at, 2); return result_number(st, result, word);
    default: memcpy(&number, at, 4); return result_number(st, result, number);
    }
}

// ------------------------------------------------------------------ the engine and its host

// A host's IntControl function receives the request number as text in
// place of the number, then p1..p4.
bool request_number_as_text(EngineState* st, const Request& r) {
    char number[INT_TEXT_BYTES];
    IntToText(r.number, number, 10);
    return set_value_text(st, &r.args[1].v, number, strlen(number));
}

// 8: the host's function 1000 gets the request and p1..p4; then the script
// ends quietly.
bool ic_host_stop(EngineState* st, const Request& r, Value* result) {
    CHECK(request_number_as_text(st, r));
    CHECK(call_host_function(st, HOST_ID_BASE, result, r.args, r.count));
    return raise(st, TERMINATE_HOST_REQUEST);
}

// 77: where the run stands: p1 0 the Call depth, 1 the structure depth,
// 2 the nesting of user-defined functions, 3 the script's path.
bool ic_run_state(EngineState* st, const Request& r, Value* result) {
    switch (r.value[1]) {
    case 0: return result_number(st, result, st->call_depth);
    case 1: return result_number(st, result, st->structure_depth);
    case 2: return result_number(st, result, st->function_nesting);
    case 3: return result_text(st, result, st->script_path);
    default: return raise(st, Err::IntControl77BadRequest);
    }
}

// The module this code is part of (the engine, or a program linking it),
// found from the address of a variable inside it.
HMODULE engine_module() {
    static const char anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       &anchor, &module);
    return module;
}

bool module_path(EngineState* st, HMODULE module, Value* result) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, sizeof path);
    if (n == 0 || n >= sizeof path) return raise(st, Err::FunctionFailed);
    return result_text(st, result, path);
}

// 93: p1 0 the engine's file, 1 the host program's file, 2 the process id.
bool ic_module_path(EngineState* st, const Request& r, Value* result) {
    switch (r.value[1]) {
    case 0: {
        const HMODULE engine = engine_module();
        return engine ? module_path(st, engine, result) : raise(st, Err::FunctionFailed);
    }
    case 1: return module_path(st, nullptr, result);
    case 2: return result_number(st, result, static_cast<int32_t>(GetCurrentProcessId()));
    default: return raise(st, Err::BadRequestNumber);
    }
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
    {5, ic_list_hidden, "list hidden and system files (switch)"},
    {7, ic_debug_output, "every script line also goes to the debugger output (switch)"},
    {8, ic_host_stop, "calls host function 1000 with the arguments, then ends the script (9019)"},
    {12, ic_termination, "termination flags: 8 Ctrl+Break cannot cancel, 4 no cancel report; p2 text"},
    {13, ic_option_slot, "stores p2 in option slot p1 (0 to 10)"},
    {20, ic_owner_window, "handle of the dialog owner window"},
    {23, ic_post_message, "PostMessage(p1, p2, p3, p4), then waits the post delay of request 70"},
    {24, ic_parent, "parent of window p1, 0 when p1 is not a window"},
    {25, ic_child_classes, "class names of the child windows of the top-level window of class p1"},
    {26, ic_nothing, "reloads the message language (nothing to do)"},
    {29, ic_delimiter, "default item-list delimiter; empty p1 only asks"},
    {30, ic_move_at_restart, "moves p1 to p2 (empty p2: deletes p1) at the next system start"},
    {31, ic_top_windows, "tab-delimited handles of the top-level windows"},
    {32, ic_memory, "reads (p3 0) or writes (p3 1) the BYTE, WORD or LONG at address p1"},
    {34, ic_error_text, "text of error p1: the system's (p2 1) or the engine's"},
    {38, ic_silent, "silent mode (0/1); p2 the log file"},
    {39, ic_share_read, "share mode of files opened for reading (0 to 3)"},
    {40, ic_share_write, "share mode of files opened for writing (0 to 3)"},
    {41, ic_four_digit_years, "four-digit years in date-time texts (0/1)"},
    {42, ic_buffer_address, "memory address of binary buffer p1"},
    {44, ic_class_name, "class name of window p1"},
    {50, ic_support_address, "support-address button of the error box (0/1); p2 the address"},
    {53, ic_line_terminator, "line end FileWrite appends (0 to 4)"},
    {57, ic_screen_saver, "tells the system whether a screen saver runs"},
    {58, ic_set_clock, "sets the local time from YmdHms p1"},
    {59, ic_ini_change, "sends WM_WININICHANGE with section p2 to window p1 (-1 all)"},
    {60, ic_device_change, "sends WM_DEVMODECHANGE with device p2 to window p1 (-1 all)"},
    {62, ic_own_foreground, "foreground method of the engine's own boxes (0 to 5, or -2)"},
    {65, ic_read_buffer, "read buffer of FileOpen (-2 whole file, 0 none, else bytes)"},
    {66, ic_log_off, "logs the user off (p2 forces)"},
    {67, ic_restart, "restarts the system (p2 forces)"},
    {68, ic_shut_down, "shuts the system down (p2 forces; p3 0 or 2 also powers off)"},
    {69, ic_power_state, "SetSystemPowerState(p1, p2)"},
    {70, ic_delays, "p2 1: the post delay of request 23 in ms, else a second delay"},
    {71, ic_trace_dump, "trace: 1 function dump, 2 option bit 2 (p2), 3 variable dump"},
    {72, ic_cancel_handler, "cancel-handler mode (0 to 3); p3 the handler function"},
    {73, ic_error_handler, "error-handler mode (0 to 3); p3 the handler function"},
    {77, ic_run_state, "run state: p1 0 Call depth, 1 structure depth, 2 function nesting, 3 script path"},
    {78, ic_discard_functions, "discards every user-defined function"},
    {79, ic_error_event, "the same as ErrorEvent(p1, p2, p3)"},
    {80, ic_wait_keys_up, "waits until no key is held down"},
    {81, ic_seed, "seeds the random generator (-1 from the clock)"},
    {82, ic_seed, "seeds the random generator (-1 from the clock)"},
    {83, ic_obsolete, "obsolete: error 1748"},
    {84, ic_nothing, "no effect"},
    {87, ic_execute_mode, "error mode of Execute (0 to 2)"},
    {89, ic_variable_text, "value of the variable named p1"},
    {90, ic_largest_block, "largest string block the heap can give now"},
    {91, ic_name_recheck, "long-name re-check of wildcard lookups (0 to 2)"},
    {93, ic_module_path, "p1 0 the engine's file, 1 the host program's file, 2 the process id"},
    {94, ic_open_file, "mode bits of the open file with handle p1"},
};

const RequestRow* request_row(int32_t number) {
    for (const RequestRow& row : kRequests)
        if (row.number == number) return &row;
    return nullptr;
}

RequestHandler request_handler(int32_t number) {
    if (const RequestRow* row = request_row(number)) return row->handler;
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
void unknown_request(EngineState* st, const Request& r, Value* result) {
    const int entry = host_intcontrol_entry(st);
    if (entry < 0) {
        if (result_text(st, result, "")) raise(st, Err::IntControlBadOpcode);
        return;
    }
    if (!request_number_as_text(st, r)) return;
    (void)DispatchFunction(st, "intcontrol", false, static_cast<uint16_t>(HOST_ID_BASE + entry), result,
                           r.args, 5);
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
    r.args = args;
    r.count = count;
    for (int i = 1; i <= 4; ++i) {
        const char* text = i + 1 <= count ? value_text(st, args[i + 1].v) : nullptr;
        r.text[i] = text ? text : "";
        r.value[i] = parameter_number(r.text[i]);
    }
    const RequestHandler handler = request_handler(r.number);
    if (!handler) return unknown_request(st, r, result);
    if (handler(st, r, result) && !(result->v.flags & VF_STRING)) result_text(st, result, "1");
}

}  // namespace

const char* intcontrol_request_summary(int32_t number) {
    if (const RequestRow* row = request_row(number)) return row->summary;
    if (const StoredRow* row = stored_row(number)) return row->summary;
    return nullptr;
}

constexpr BuiltinRow kIntControlBuiltins[] = {
    BUILTIN_ROW("intcontrol", ic_dispatch),
};
constexpr size_t kIntControlBuiltinCount = sizeof(kIntControlBuiltins) / sizeof(kIntControlBuiltins[0]);
