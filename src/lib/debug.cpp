// Built-in functions of the debug family: DebugTrace, Debug, DebugData.
#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "base/messages.h"
#include "lang/debugger.h"
#include "lang/numtext.h"
#include "lang/trace.h"
#include "lib/builtins.h"
#include "lib/debug.h"

namespace {

const char* argument_text(EngineState* st, int count, Value* args, int index) {
    if (index > count) return "";
    const char* text = value_text(st, args[index].v);
    return text ? text : "";
}

// The trace file name as given: made a full path unless it names the
// debugger output.
void set_trace_file(EngineState* st, const char* name) {
    if (!name[0] || lstrcmpiA(name, TRACE_TO_DEBUGGER) == 0) {
        lstrcpynA(st->trace_file, name, sizeof st->trace_file);
        return;
    }
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(name, sizeof full, full, nullptr);
    lstrcpynA(st->trace_file, length > 0 && length < sizeof full ? full : name, sizeof st->trace_file);
}

void delete_trace_file(const EngineState* st) {
    if (st->trace_file[0] && lstrcmpiA(st->trace_file, TRACE_TO_DEBUGGER) != 0) DeleteFileA(st->trace_file);
}

// Requests 1, 10, 2: a new name, or the previous one; none at all is 1771.
bool switch_trace_on(EngineState* st, const char* name, int32_t mode, bool delete_first) {
    if (name[0]) set_trace_file(st, name);
    if (!st->trace_file[0]) return raise(st, Err::DebugTraceNoFile);
    if (delete_first) delete_trace_file(st);
    st->trace_switches = static_cast<uint32_t>(mode);
    st->trace_start_tick = 0;
    st->trace_function = NO_FUNCTION;
    st->trace_text_pending = 0;
    return true;
}

bool set_name_only(EngineState* st, const char* name, bool delete_first) {
    if (!name[0]) return raise(st, Err::DebugTraceNoFile);
    set_trace_file(st, name);
    if (delete_first) delete_trace_file(st);
    return true;
}

void set_option(EngineState* st, uint32_t bit, bool on) {
    if (on)
        st->trace_options |= bit;
    else
        st->trace_options &= ~bit;
}

}  // namespace

bool DebugTraceRequest(EngineState* st, int32_t request, const char* text, const char* option) {
    // The option requests read the third argument, or the second when the
    // call has only two.
    const bool set = TextToInt(option[0] ? option : text) != 0;
    switch (request) {
    case -1: return true;
    case 0:
        st->trace_switches = TRACE_OFF;
        return true;
    case 1: return switch_trace_on(st, text, TRACE_EVERY_STATEMENT, false);
    case 10: return switch_trace_on(st, text, TRACE_EVERY_STATEMENT, true);
    case 2: return switch_trace_on(st, text, TRACE_ERRORS_ONLY, false);
    case 3:
    case 4: trace_text(st, text, request == 4, false); return true;
    case 203:
    case 204: trace_text(st, text, request == 204, true); return true;
    case 22:
        if (st->caller_trace_mode != TRACE_OFF) st->trace_switches = static_cast<uint32_t>(st->caller_trace_mode);
        return true;
    case 100: return set_name_only(st, text, false);
    case 101: return set_name_only(st, text, true);
    case 102: set_option(st, TRACE_OPTION_BIT1, set); return true;
    case 103: set_option(st, TRACE_OPTION_BIT2, set); return true;
    case 104: set_option(st, TRACE_OPTION_NO_TIMES, set); return true;
    case 200:
        st->trace_switches = TRACE_OFF;
        st->trace_options = 0;
        set_trace_file(st, text);
        return true;
    case 205: trace_dump_functions(st); return true;
    case 206: trace_dump_variables(st); return true;
    case 207: trace_dump_structures(st); return true;
    case 208: trace_header(st); return true;
    case 277: trace_dump_internal(st, text); return true;
    default: return raise(st, Err::BadRequestNumber);
    }
}

void SendDebugData(EngineState* st, const char* first, const char* second) {
    char prefix[64];
    if (message_text(st, static_cast<int>(Err::DebugDataPrefix), prefix, sizeof prefix) <= 0) prefix[0] = '\0';
    char line[2 * LINE_BUFFER_BYTES + 80];
    snprintf(line, sizeof line, "%s%s %s\r\n", prefix, first, second);
    if (st->silent)
        MessageOrLog(st, st->owner_window, line, prefix, MB_OK);
    else
        OutputDebugStringA(line);
}

namespace {

// DebugTrace(request, file, option) -> 1 when the trace was on before.
BUILTIN(dbg_debug_trace) {
    const int32_t was_on = tracing(st) ? 1 : 0;
    if (!DebugTraceRequest(st, args[1].v.integer, argument_text(st, count, args, 2),
                           argument_text(st, count, args, 3)))
        return;
    result->v.integer = was_on;
}

// Debug(mode, variable) -> the previous mode.
BUILTIN(dbg_debug) {
    const int32_t previous = static_cast<int32_t>(st->debug_switches);
    const int32_t mode = args[1].v.integer;
    // Switched on afresh, the debugger opens with its greeting again.
    if (previous == DEBUG_OFF) st->debugger_started = 0;
    st->debug_switches = static_cast<uint32_t>(mode > 0 ? DEBUG_ON : mode < 0 ? DEBUG_ALL : DEBUG_OFF);
    if (count >= 2) lstrcpynA(st->debug_variable, argument_text(st, count, args, 2), sizeof st->debug_variable);
    result->v.integer = previous;
}

// DebugData(text1, text2)
BUILTIN(dbg_debug_data) {
    SendDebugData(st, argument_text(st, count, args, 1), argument_text(st, count, args, 2));
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kDebugBuiltins[] = {
    BUILTIN_ROW("debugtrace", dbg_debug_trace),
    BUILTIN_ROW("debug", dbg_debug),
    BUILTIN_ROW("debugdata", dbg_debug_data),
};
constexpr size_t kDebugBuiltinCount = sizeof(kDebugBuiltins) / sizeof(kDebugBuiltins[0]);
