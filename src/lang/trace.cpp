// Debug-trace records: the banner and header, statement records with their
// outcomes and elapsed times, function and Call records, error and end-of-job
// records. The table dumps are in trace_dumps.cpp.
#include "lang/trace.h"

#include <stdio.h>
#include <string.h>
#include "base/errors.h"
#include "base/messages.h"
#include "lang/error_driver.h"
#include "lang/keyword_table.h"
#include "lang/numtext.h"
#include "lang/statements.h"
#include "lang/structures.h"
#include "lang/trace_output.h"
#include "lang/value.h"

namespace {

constexpr size_t kStatementChars = 2042;  // longest statement text a record shows
constexpr size_t kHostVersionChars = 39;
constexpr size_t kResolvedJumpBytes = 5;  // a resolved jump's marker and four position characters
constexpr char kHeaderRule[] = "==============================";

const char* msg(EngineState* st, Err number, char* buffer, int size) {
    if (message_text(st, static_cast<int>(number), buffer, size) <= 0) buffer[0] = '\0';
    return buffer;
}

DWORD elapsed(const EngineState* st) { return GetTickCount() - st->trace_start_tick; }
bool show_times(const EngineState* st) { return !(st->trace_options & TRACE_OPTION_NO_TIMES); }

const char* error_mode_name(int32_t mode) {
    switch (mode) {
    case ERRMODE_OFF: return "@OFF";
    case ERRMODE_CANCEL: return "@CANCEL";
    default: return "@NOTIFY";
    }
}

void put_date_time(TraceOutput& out) {
    char date[128], time[128];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date) <= 0)
        date[0] = '\0';
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time) <= 0) time[0] = '\0';
    out.printf("%s %s\r\n", date, time);
}

void put_platform(TraceOutput& out) {
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    const bool is_9x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    const char* platform = is_9x ? "9x" : info.dwPlatformId == VER_PLATFORM_WIN32_NT ? "NT" : "??";
    const DWORD build = is_9x ? (info.dwBuildNumber & 0xFFFF) : info.dwBuildNumber;
    out.printf("Windows platform: %s, version: %lu.%lu, build: %lu", platform,
               static_cast<unsigned long>(info.dwMajorVersion), static_cast<unsigned long>(info.dwMinorVersion),
               static_cast<unsigned long>(build));
    if (info.szCSDVersion[0]) out.printf(" (%s)", info.szCSDVersion);
    out.put("\r\n");
}

bool performance_counters_disabled() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\PerfProc\\Performance", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    const bool read = RegQueryValueExA(key, "Disable Performance Counters", nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read && type == REG_DWORD && value == 1;
}

void put_header(EngineState* st, TraceOutput& out) {
    out.printf("\r\n%s\r\n", kHeaderRule);
    put_date_time(out);
    out.put(st->product_name);
    if (st->host_version_text[0]) out.printf(" %.*s", static_cast<int>(kHostVersionChars), st->host_version_text);
    char version[64];
    out.printf("\r\nQOB DLL %s\r\n", msg(st, Err::EngineVersion, version, sizeof version));
    out.printf("%s\r\n", st->script_path);
    put_platform(out);
    out.printf("ErrorMode: %s\r\n", error_mode_name(st->error_mode));
    if (performance_counters_disabled())
        out.put("Performance counters are disabled (HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                "PerfProc\\Performance[Disable Performance Counters])\r\n");
    out.printf("%s\r\n", kHeaderRule);
}

// The first record after the trace was switched on begins with the banner.
void start_if_new(EngineState* st, TraceOutput& out) {
    if (st->trace_start_tick != 0) return;
    st->trace_start_tick = GetTickCount();
    if (st->trace_start_tick == 0) st->trace_start_tick = 1;
    char banner[128];
    const Err title = st->trace_switches == TRACE_ERRORS_ONLY ? Err::ErrorDumpInitialized : Err::DebugInitialized;
    out.printf("\r\n%s\r\n\r\n%s\r\n", TRACE_STARS, msg(st, title, banner, sizeof banner));
    put_header(st, out);
}

void function_name(EngineState* st, uint16_t index, char* out, size_t size) {
    out[0] = '\0';
    if (index == NO_FUNCTION || !UserFunctions.name) return;
    uint16_t length = 0;
    const char* name = UserFunctions.name(st, index, &length);
    if (name) snprintf(out, size, "%.*s", static_cast<int>(length), name);
}

// "--- (t) In UDF (name) ---" when the statement runs in a function that
// the trace has not announced yet.
void announce_function(EngineState* st, TraceOutput& out) {
    if (st->current_function == st->trace_function) return;
    st->trace_function = st->current_function;
    if (st->current_function == NO_FUNCTION) return;
    char label[64], name[VARIABLE_NAME_BYTES + 1];
    msg(st, Err::TraceInUdf, label, sizeof label);
    function_name(st, st->current_function, name, sizeof name);
    if (show_times(st))
        out.printf("\r\n--- (%lu) %s (%s) ---\r\n", static_cast<unsigned long>(elapsed(st)), label, name);
    else
        out.printf("\r\n--- %s (%s) ---\r\n", label, name);
    if (st->trace_function_args[0]) {
        out.printf("%s\r\n", st->trace_function_args);
        st->trace_function_args[0] = '\0';
    }
}

void put_statement_text(TraceOutput& out, const char* statement) {
    char text[LINE_BUFFER_BYTES + 8];
    readable_statement(statement ? statement : "", text, sizeof text);
    out.printf("\r\n%.*s\r\n", static_cast<int>(kStatementChars), text);
}

void put_time(EngineState* st, TraceOutput& out) {
    if (show_times(st)) out.printf("(%lu) ", static_cast<unsigned long>(elapsed(st)));
}

// Which family of introducers an error code belongs to.
enum class ErrorFamily { Engine, Extender, User, Function };

ErrorFamily error_family(int error) {
    switch (error) {
    case static_cast<int>(Err::ExtenderMinorError):
    case static_cast<int>(Err::ExtenderModerateError):
    case static_cast<int>(Err::ExtenderSevereError): return ErrorFamily::Extender;
    case static_cast<int>(Err::UserMinorError):
    case static_cast<int>(Err::UserModerateError):
    case static_cast<int>(Err::UserSevereError):
    case ERROR_REPORTED_BY_EVENT: return ErrorFamily::User;
    case ERROR_IN_FUNCTION_BODY: return ErrorFamily::Function;
    default: return ErrorFamily::Engine;
    }
}

Err error_introducer(ErrorFamily family, bool stops) {
    switch (family) {
    case ErrorFamily::Extender: return stops ? Err::TraceTerminalExtenderError : Err::TraceExtenderErrorSuppressed;
    case ErrorFamily::User: return stops ? Err::TraceTerminalUserError : Err::TraceUserErrorSuppressed;
    case ErrorFamily::Function: return stops ? Err::TraceTerminalUdfError : Err::TraceUdfErrorSuppressed;
    default: return stops ? Err::TraceTerminalError : Err::TraceErrorSuppressed;
    }
}

void error_text(EngineState* st, ErrorFamily family, int number, char* out, int size) {
    const char* own = family == ErrorFamily::User       ? st->user_error_text
                      : family == ErrorFamily::Extender ? st->extender_error_text
                                                        : "";
    if (own[0]) {
        lstrcpynA(out, own, size);
        return;
    }
    if (message_text(st, number, out, size) <= 0) out[0] = '\0';
}

void put_error(EngineState* st, TraceOutput& out, int error, bool stops) {
    const ErrorFamily family = error_family(error);
    const int number = real_error_number(st, error);
    char introducer[96], text[LINE_BUFFER_BYTES];
    msg(st, error_introducer(family, stops), introducer, sizeof introducer);
    error_text(st, family, number, text, sizeof text);
    out.printf("%s%d (%s)\r\n", introducer, number, text);
}

void call_record(EngineState* st, bool calling) {
    if (st->statement_kind != SK_FUNCTION_CALL && st->statement_kind != SK_SCRIPT_CALL) return;
    char name[MAX_PATH];
    if (st->statement_kind == SK_SCRIPT_CALL)
        lstrcpynA(name, st->script_path, sizeof name);
    else
        function_name(st, st->current_function, name, sizeof name);
    char text[MAX_PATH + 64];
    statement_outcome(st, st->statement_kind, calling, nullptr, name, text, sizeof text);
    TraceOutput out(st);
    start_if_new(st, out);
    put_time(st, out);
    out.printf("%s\r\n", text);
}

void end_record(EngineState* st, bool structures_open) {
    TraceOutput out(st);
    start_if_new(st, out);
    if (structures_open) out.put("\r\n********** Warning: Structure level not 0 **********\r\n");
    char normal[64], end[64];
    out.printf("\r\n--- %s ---\r\n", msg(st, Err::TraceNormalTermination, normal, sizeof normal));
    out.printf(";;;%s;;;\r\n", msg(st, Err::EndOfJob, end, sizeof end));
}

void error_mode_record(EngineState* st) {
    TraceOutput out(st);
    start_if_new(st, out);
    out.printf("\r\n********** ErrorMode: %s **********\r\n", error_mode_name(st->error_mode));
}

}  // namespace

const char TRACE_STARS[] = "************************************************************";

// ------------------------------------------------------------------ texts

void readable_statement(const char* text, char* out, size_t size) {
    const uint8_t first = static_cast<uint8_t>(text[0]);
    if ((first == RESOLVED_GOSUB || first == RESOLVED_GOTO) && strlen(text) >= kResolvedJumpBytes)
        snprintf(out, size, "%s%s", first == RESOLVED_GOSUB ? "gosub" : "goto ", text + kResolvedJumpBytes);
    else
        lstrcpynA(out, text, static_cast<int>(size));
}

void trace_value_text(EngineState* st, const ValuePayload& value, char* out, size_t size) {
    const uint32_t flags = value.flags;
    if (flags & VF_ARRAY) {
        lstrcpynA(out, "<array>", static_cast<int>(size));
    } else if (flags & VF_STRING) {
        const char* text = value_text(st, value);
        snprintf(out, size, "\"%s\"", text ? text : "");
    } else if (flags & VF_UNICODE) {
        const wchar_t* wide = value_wtext(st, value);
        char text[LINE_BUFFER_BYTES];
        if (!wide || WideCharToMultiByte(st->code_page, 0, wide, -1, text, sizeof text, nullptr, nullptr) <= 0)
            text[0] = '\0';
        snprintf(out, size, "\"%s\"", text);
    } else if (flags & VF_FLOAT) {
        char number[FLOAT_TEXT_BYTES];
        PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
        if (!FloatToText(st, value.real, number)) snprintf(number, sizeof number, "%g", value.real);
        lstrcpynA(out, number, static_cast<int>(size));
    } else if (flags & VF_INT) {
        snprintf(out, size, "%ld", static_cast<long>(value.integer));
    } else if (flags & VF_VARIANT) {
        lstrcpynA(out, "<complex data type>", static_cast<int>(size));
    } else {
        out[0] = '\0';
    }
}

void statement_outcome(EngineState* st, int kind, int condition, const Value* value, const char* name,
                       char* out, size_t size) {
    struct Texts {
        Err when_true, when_false;
    };
    static const Texts kTexts[] = {
        {Err::TraceValue, Err::TraceValue},                     // 0 plain statement
        {Err::TraceIfTrue, Err::TraceIfFalseSkipped},           // 1 single-line If/Else
        {Err::TraceStatementSkipped, Err::TraceStatementSkipped},
        {Err::TraceWhileTrue, Err::TraceWhileFalse},
        {Err::TraceEndOperator, Err::TraceEndOperator},
        {Err::TraceSwitch, Err::TraceSwitch},
        {Err::TraceBreaking, Err::TraceBreakIgnored},
        {Err::TraceContinuing, Err::TraceContinueIgnored},
        {Err::TraceForTrue, Err::TraceForFalse},
        {Err::TraceGosub, Err::TraceReturnValue},               // 9 GoSub (true) or Return
        {Err::TraceIfDoTrue, Err::TraceIfDoFalse},
        {Err::TraceElseDoTrue, Err::TraceElseDoFalse},
        {Err::TraceCaseTrue, Err::TraceCaseFalse},
        {Err::TraceCallingUdf, Err::TraceReturningFromUdf},
        {Err::TraceCallingScript, Err::TraceReturningFromScript},
    };
    out[0] = '\0';
    if (kind < 0 || kind >= static_cast<int>(sizeof kTexts / sizeof kTexts[0])) return;
    char label[96];
    msg(st, condition ? kTexts[kind].when_true : kTexts[kind].when_false, label, sizeof label);
    char shown[LINE_BUFFER_BYTES];
    shown[0] = '\0';
    if (value) trace_value_text(st, value->v, shown, sizeof shown);
    switch (kind) {
    case SK_PLAIN:
        snprintf(out, size, "%s => %s", label, shown);
        break;
    case SK_SWITCH:
        snprintf(out, size, "%s%s", label, shown);
        break;
    case SK_JUMP:
        if (condition)
            lstrcpynA(out, label, static_cast<int>(size));
        else
            snprintf(out, size, "%s => %s", label, shown);
        break;
    case SK_FUNCTION_CALL:
    case SK_SCRIPT_CALL:
        snprintf(out, size, "%s (%s)", label, name ? name : "");
        break;
    default:
        lstrcpynA(out, label, static_cast<int>(size));
        break;
    }
}

// ------------------------------------------------------------------ records

void trace_statement_start(EngineState* st, const char* statement) {
    st->trace_text_pending = 0;
    if (st->trace_switches != TRACE_EVERY_STATEMENT || region_skipped(st)) return;
    TraceOutput out(st);
    start_if_new(st, out);
    announce_function(st, out);
    put_statement_text(out, statement);
    lstrcpynA(st->last_traced_line, statement, sizeof st->last_traced_line);
    st->trace_text_pending = 1;
}

// A statement that wakes its region (Else, EndIf after a false branch) or
// that switched the trace on gets its text here, with the outcome.
void trace_statement_outcome(EngineState* st, const char* statement, const Value* result) {
    if (st->trace_switches != TRACE_EVERY_STATEMENT) {
        st->trace_text_pending = 0;
        return;
    }
    const bool pending = st->trace_text_pending != 0;
    st->trace_text_pending = 0;
    if (!pending && region_skipped(st)) return;
    TraceOutput out(st);
    start_if_new(st, out);
    if (!pending) {
        announce_function(st, out);
        put_statement_text(out, statement);
    }
    char text[LINE_BUFFER_BYTES + 64];
    statement_outcome(st, st->statement_kind, st->last_condition, result, nullptr, text, sizeof text);
    put_time(st, out);
    out.printf("%s\r\n", text);
}

void trace_statement_error(EngineState* st, const char* statement, int error, bool stops) {
    if (!tracing(st) || error == 0 || error == TERMINATE_EXIT) return;
    const bool pending = st->trace_text_pending != 0;
    st->trace_text_pending = 0;
    {
        TraceOutput out(st);
        start_if_new(st, out);
        if (!pending) put_statement_text(out, statement);
        put_time(st, out);
        put_error(st, out, error, stops);
    }
    if (st->trace_switches == TRACE_EVERY_STATEMENT) {
        trace_dump_structures(st);
        trace_dump_settings(st);
    } else if (error != ERROR_IN_FUNCTION_BODY) {
        trace_dump_variables(st);
    }
}

void trace_function_enter(EngineState* st, const char* name, const char* arguments) {
    lstrcpynA(st->trace_function_args, arguments ? arguments : "", sizeof st->trace_function_args);
    if (st->trace_switches != TRACE_EVERY_STATEMENT) return;
    char text[VARIABLE_NAME_BYTES + 64];
    statement_outcome(st, SK_FUNCTION_CALL, 1, nullptr, name, text, sizeof text);
    TraceOutput out(st);
    start_if_new(st, out);
    put_time(st, out);
    out.printf("%s\r\n", text);
}

void trace_function_exit(EngineState* st, const char* name) {
    st->trace_function_args[0] = '\0';
    if (st->trace_switches != TRACE_EVERY_STATEMENT) return;
    char leaving[64], text[VARIABLE_NAME_BYTES + 64];
    msg(st, Err::TraceLeavingUdf, leaving, sizeof leaving);
    statement_outcome(st, SK_FUNCTION_CALL, 0, nullptr, name, text, sizeof text);
    TraceOutput out(st);
    start_if_new(st, out);
    out.printf("\r\n--- %s (%s) ---\r\n", leaving, name ? name : "");
    put_time(st, out);
    out.printf("%s\r\n", text);
    // The caller's next statement is announced afresh.
    st->trace_function = NO_FUNCTION;
}

TraceHandover trace_suspend_for_callee(EngineState* st) {
    const TraceHandover saved{st->caller_trace_mode, st->trace_text_pending};
    st->caller_trace_mode = static_cast<int32_t>(st->trace_switches);
    st->trace_switches = TRACE_OFF;
    st->debug_switches = 0;
    st->trace_text_pending = 0;
    return saved;
}

void trace_resume_after_callee(EngineState* st, const TraceHandover& saved) {
    st->caller_trace_mode = saved.caller_trace_mode;
    st->trace_text_pending = saved.text_pending;
}

void trace_text(EngineState* st, const char* text, bool framed, bool always) {
    if (!always && !tracing(st)) return;
    TraceOutput out(st);
    start_if_new(st, out);
    char dollars[81];
    memset(dollars, '$', 80);
    dollars[80] = '\0';
    if (framed) out.printf("\r\n%s", dollars);
    out.printf("\r\n%s\r\n", text);
    if (framed) out.printf("%s\r\n", dollars);
}

void trace_header(EngineState* st) {
    TraceOutput out(st);
    if (st->trace_start_tick == 0) {
        start_if_new(st, out);
        return;
    }
    put_header(st, out);
}

void trace_variable_error(EngineState* st, const char* name) {
    if (!tracing(st)) return;
    TraceOutput out(st);
    start_if_new(st, out);
    out.printf("\r\nError Reporting\r\n%d\r\n%s\r\n", static_cast<int>(Err::UninitializedVariable), name);
}

void TraceRecord(EngineState* st, int kind, int flag) {
    if (!tracing(st)) return;
    switch (kind) {
    case TRACE_RECORD_STATEMENT:
        trace_statement_start(st, st->statement_line);
        break;
    case TRACE_RECORD_END:
        end_record(st, flag != 0);
        break;
    case TRACE_RECORD_TERMINAL:
    case TRACE_RECORD_SUPPRESSED:
        trace_statement_error(st, st->statement_line, st->trace_error, kind == TRACE_RECORD_TERMINAL);
        break;
    case TRACE_RECORD_ERROR_DUMP: {
        TraceOutput out(st);
        start_if_new(st, out);
        break;
    }
    case TRACE_RECORD_CALL:
        call_record(st, flag != 0);
        break;
    case TRACE_RECORD_ERROR_MODE:
        error_mode_record(st);
        break;
    default:
        break;
    }
}
