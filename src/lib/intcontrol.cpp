// IntControl(request, p1, p2, p3, p4): the script's door to the engine's
// internal switches. One row per request; requests without a row go to the
// host when its function table has an "intcontrol" entry.
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

constexpr RequestRow kRequests[] = {
    {5, ic_list_hidden},
    {7, ic_debug_output},
    {12, ic_termination},
    {29, ic_delimiter},
    {34, ic_error_text},
    {38, ic_silent},
    {39, ic_share_read},
    {40, ic_share_write},
    {41, ic_four_digit_years},
    {42, ic_buffer_address},
    {53, ic_line_terminator},
    {65, ic_read_buffer},
    {71, ic_trace_dump},
    {72, ic_cancel_handler},
    {73, ic_error_handler},
    {78, ic_discard_functions},
    {79, ic_error_event},
    {87, ic_execute_mode},
    {89, ic_variable_text},
    {90, ic_largest_block},
    {91, ic_name_recheck},
    {94, ic_open_file},
};

RequestHandler request_handler(int32_t number) {
    for (const RequestRow& row : kRequests)
        if (row.number == number) return row.handler;
    return nullptr;
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
