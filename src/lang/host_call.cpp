// The calling routine for the host callback: host functions (ids
// 1000..1998) and hooks (negative ids), the records they receive, and what
// a negative result turns into (an error, a report, a cancel or a stop).
#include "lang/host_call.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/message_box.h"
#include "base/messages.h"
#include "base/upcalls.h"
#include "lang/error_driver.h"
#include "lang/keyword_table.h"
#include "lang/value.h"

namespace {

constexpr int kHookWords = 5;
// The extended error number of an extender error whose text names none.
constexpr int32_t kUnnamedExtenderError = 999;
// An error text may name its number within its first ten characters ("1234: ...").
constexpr size_t kNumberedTextReach = 10;
// Execute's reporting mode that shows no box.
constexpr int32_t kExecuteQuiet = 2;

// Interface 4 receives ANSI text only: a wide-only argument is converted
// first. The VARIANT travels as a bitwise copy that the host only borrows.
bool record_from_argument(EngineState* st, ValuePayload* v, ExtenderValue* r) {
    if ((v->flags & VF_UNICODE) && !(v->flags & (VF_STRING | VF_ARRAY)))
        CHECK(ToString(st, v) || raise(st, Err::NotConvertibleToString));
    memset(r, 0, sizeof *r);
    r->variant = v->variant;
    r->real = v->real;
    r->integer = v->integer;
    r->flags = v->flags & ~VF_UNICODE;
    r->internal = v->whandle;
    if (v->flags & VF_ARRAY) r->text = reinterpret_cast<void*>(v->handle);
    else if (v->flags & VF_STRING) r->text = heap_text(st, static_cast<uint32_t>(v->handle));
    return true;
}

// Engine-internal calls pass five words: the hook's text as a type-2
// record, the numbers (handles, positions, depths) as integers whose full
// word also stands in the text field. Typing the numbers as texts, as the
// oldest hosts received them, would invite a host to read a position as an
// address.
void hook_records(const uintptr_t words[kHookWords], ExtenderValue records[kHookWords]) {
    for (int i = 0; i < kHookWords; ++i) {
        memset(&records[i], 0, sizeof records[i]);
        records[i].flags = i == 0 ? VF_STRING : VF_INT;
        records[i].text = reinterpret_cast<void*>(words[i]);
        if (i > 0) records[i].integer = static_cast<int32_t>(words[i]);
    }
}

int invoke_host(EngineState* st, int32_t function, Value* result, ExtenderValue* records, int count) {
    ExtenderContext context;
    build_extender_context(st, result, &context);
    ExtenderValue answer;
    memset(&answer, 0, sizeof answer);
    // A host that fails without handing over a text must not show the text
    // of an earlier failure.
    st->extender_error_text[0] = '\0';
    // The state block stores the entry untyped; its shape is ExtenderEntryFn.
    auto entry = reinterpret_cast<ExtenderEntryFn>(reinterpret_cast<void*>(st->host_handler));
    return entry(st->host_window, st->host_values[1], EXTENDER_CALL_MAGIC, function, ZeradIrevav,
                 &context, nullptr, records, count, &answer);
}

// "1234: text" makes 1234 the number the script sees; 0 keeps 999.
void take_number_from_text(EngineState* st) {
    const char* text = st->extender_error_text;
    const char* colon = static_cast<const char*>(memchr(text, ':', strnlen(text, kNumberedTextReach)));
    if (!colon) return;
    char digits[kNumberedTextReach + 1];
    memcpy(digits, text, static_cast<size_t>(colon - text));
    digits[colon - text] = '\0';
    int32_t number = atoi(digits);
    if (number != 0) st->indirect_error = number;
}

// The error has been shown: it stands as 9014 from here on, and with the
// continue flag set the statement driver lets the script go on.
bool reported(EngineState* st, bool go_on) {
    st->error = ERROR_REPORTED_BY_RAISER;
    if (!go_on) return false;
    st->continue_flag = 1;
    return true;
}

bool report_inside_execute(EngineState* st) {
    if (st->execute_error_mode != kExecuteQuiet) {
        char text[LINE_BUFFER_BYTES + 16];
        snprintf(text, sizeof text, "EXECUTE::%s", st->extender_error_text);
        char caption[LINE_BUFFER_BYTES];
        message_text(st, static_cast<int>(Err::ExtenderErrorCaption), caption, sizeof caption);
        if (MessageOrLog(st, st->owner_window, text, caption, MB_OKCANCEL | MB_SETFOREGROUND) == IDCANCEL) {
            st->error = static_cast<uint16_t>(Err::UserCancel);
            return false;
        }
    }
    return reported(st, true);
}

// Results -1, -2, -3 and below -7: the error is raised, then shown unless
// reports are suppressed or a minor one falls under ErrorMode @OFF, in
// which case the statement driver deals with it as with any error.
bool report_extender_error(EngineState* st, Err error, int severity) {
    raise(st, error);
    if (st->suppress_reports || (severity == SEVERITY_MINOR && st->error_mode == ERRMODE_OFF)) return false;
    if (st->inside_execute) return report_inside_execute(st);
    char caption[LINE_BUFFER_BYTES];
    message_text(st, static_cast<int>(Err::ExtenderErrorCaption), caption, sizeof caption);
    snprintf(st->error_text, sizeof st->error_text, "%s  %s", caption, st->extender_error_text);
    lstrcpynA(st->offending_line, st->statement_line ? st->statement_line : "", LINE_BUFFER_BYTES);
    // The report stops the run itself under @CANCEL, for severe errors and
    // when the user chose to end.
    const int go_on = show_error_report(st, st->owner_window, static_cast<int>(error), severity);
    free_error_info(st);
    return reported(st, go_on != 0);
}

bool fail_with_result(EngineState* st, int code) {
    if (!st->extender_error_text[0])
        message_text(st, static_cast<int>(Err::ExtenderUndefinedError), st->extender_error_text,
                     LINE_BUFFER_BYTES);
    st->indirect_error = kUnnamedExtenderError;
    take_number_from_text(st);
    switch (code) {
    case KESTR_RESULT_MINOR_ERROR: return report_extender_error(st, Err::ExtenderMinorError, SEVERITY_MINOR);
    case KESTR_RESULT_MODERATE_ERROR:
        return report_extender_error(st, Err::ExtenderModerateError, SEVERITY_MODERATE);
    case KESTR_RESULT_SEVERE_ERROR: return report_extender_error(st, Err::ExtenderSevereError, SEVERITY_SEVERE);
    case KESTR_RESULT_NO_MEMORY: return raise(st, Err::ExtenderResultNoMemory);
    case KESTR_RESULT_CANCEL: return raise(st, Err::UserCancel);
    case KESTR_RESULT_STOP: return raise(st, TERMINATE_HOST);
    case KESTR_RESULT_ARRAY_ERROR: return raise(st, Err::ExtenderArrayCreateFailed);
    default: return report_extender_error(st, Err::ExtenderResultNoMemory, SEVERITY_SEVERE);
    }
}

// A host that changed the current directory gets it back, with the
// drive's own current-directory variable that command shells read.
void restore_directory(const char* directory) {
    if (!SetCurrentDirectoryA(directory) || directory[1] != ':') return;
    char name[4] = {'=', directory[0], ':', '\0'};
    SetEnvironmentVariableA(name, directory);
}

}  // namespace

void build_extender_context(EngineState* st, Value* result, ExtenderContext* context) {
    memset(context, 0, sizeof *context);
    context->engine = st;
    context->result = result;
    context->version = EXTENDER_CONTEXT_VERSION;
    context->size = sizeof *context;
    context->services = g_upcalls.services;
    context->host_values[0] = st->host_values[0];
    context->host_values[1] = st->host_values[1];
    context->host_values[2] =
        st->host_values[2] ? st->host_values[2] : reinterpret_cast<uintptr_t>(st->owner_window);
}

bool call_host_function(EngineState* st, uint16_t id, Value* result, Value* args, int count) {
    if (!st->host_handler || id < HOST_ID_BASE || id > HOST_ID_LAST || count > MAX_ARGUMENTS)
        return raise(st, Err::FunctionNotDefined);
    ExtenderValue records[MAX_ARGUMENTS];
    for (int i = 1; i <= count; ++i) CHECK(record_from_argument(st, &args[i].v, &records[i - 1]));
    int code = invoke_host(st, id - HOST_ID_BASE, result, records, count);
    return code >= 0 || fail_with_result(st, code);
}

bool call_host_hook(EngineState* st, int id, const char* text, uintptr_t word2, uintptr_t word3,
                    uintptr_t word4, uintptr_t word5, int32_t* answer) {
    if (answer) *answer = 0;
    if (!st->host_handler) return true;
    const uintptr_t words[kHookWords] = {reinterpret_cast<uintptr_t>(text), word2, word3, word4, word5};
    ExtenderValue records[kHookWords];
    hook_records(words, records);
    Value result;
    SetInteger(&result.v, RK_VALUE, 0, 0);
    int code = invoke_host(st, id, &result, records, kHookWords);
    if (answer && code >= 0 && has_int(result.v)) *answer = result.v.integer;
    ReleaseValue(st, &result.v, RK_VALUE, 0);
    return code >= 0 || fail_with_result(st, code);
}


bool host_statement_hook(EngineState* st, const char* text, uintptr_t word2, uintptr_t word3,
                         uintptr_t word4, uintptr_t word5) {
    char directory[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    PendingErrorAside aside(st->error);
    int32_t answer = 0;
    (void)call_host_hook(st, KESTR_HOOK_STATEMENT, text, word2, word3, word4, word5, &answer);
    if (answer == KESTR_HOOK_DIRECTORY_CHANGED && length > 0 && length < sizeof directory)
        restore_directory(directory);
    if (st->error == TERMINATE_HOST) {
        aside.drop_pending();
        return false;
    }
    return true;
}
