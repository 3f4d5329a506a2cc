// Call(file, parameters): runs another script file in a nested run loop on
// the same state and returns the value that its Return gave.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/script_buffer.h"
#include "base/upcalls.h"
#include "lang/evaluator.h"
#include "lang/host_call.h"
#include "lang/params.h"
#include "lang/statements.h"
#include "lang/trace.h"
#include "lib/builtins.h"

namespace {

// ------------------------------------------------------------------ finding the file

bool is_file(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool full_path(const char* name, char* path) {
    const DWORD n = GetFullPathNameA(name, MAX_PATH, path, nullptr);
    return n > 0 && n < MAX_PATH;
}

// A relative name is also looked for beside the running script.
bool beside_running_script(const EngineState* st, const char* name, char* path) {
    const char* slash = strrchr(st->script_path, '\\');
    if (!slash) return false;
    const size_t directory = static_cast<size_t>(slash - st->script_path) + 1;
    if (directory + strlen(name) >= MAX_PATH) return false;
    memcpy(path, st->script_path, directory);
    strcpy(path + directory, name);
    return is_file(path);
}

bool is_relative(const char* name) {
    return !(name[0] == '\\' || name[0] == '/' || (name[0] && name[1] == ':'));
}

// As given (from the current directory), beside the running script, then
// along the search path; the full path goes to `path`.
bool find_script(const EngineState* st, const char* name, char* path) {
    if (!name || !*name) return false;
    if (is_file(name)) return full_path(name, path);
    if (is_relative(name) && beside_running_script(st, name, path)) return true;
    const DWORD n = SearchPathA(nullptr, name, nullptr, MAX_PATH, path, nullptr);
    return n > 0 && n < MAX_PATH && is_file(path);
}

// ------------------------------------------------------------------ what a called script starts without

// Saved for the caller and reset for the called script (restored afterwards).
struct CallerSettings {
    int32_t last_if;
    int32_t cancel_handler_mode;
    int32_t error_handler_mode;
    int32_t function_body;
    uint32_t debug_switches;
    uint32_t trace_switches;
    TraceHandover trace_handover;
    uint16_t current_function;
    int32_t statement_kind;
    uint16_t assign_table;
    uint16_t assign_slot;
    char cancel_handler_name[sizeof EngineState::cancel_handler_name];
    char error_handler_name[sizeof EngineState::error_handler_name];
    char trace_file[sizeof EngineState::trace_file];
    char last_traced_line[sizeof EngineState::last_traced_line];
    // The lexer of the statement holding the Call reads on after it; only
    // its position and current token (the closing parenthesis) matter.
    const char* lexer_read;
    const char* lexer_token_start;
    uint8_t lexer_kind;
    uint16_t lexer_id;
    CachedLine* lexer_cache;
    const char* lexer_cache_base;
    uint32_t lexer_cache_stamp;
};

void save_and_reset(EngineState* st, CallerSettings* saved) {
    saved->last_if = st->last_if;
    saved->cancel_handler_mode = st->cancel_handler_mode;
    saved->error_handler_mode = st->error_handler_mode;
    saved->function_body = st->function_body;
    saved->debug_switches = st->debug_switches;
    saved->trace_switches = st->trace_switches;
    saved->trace_handover = trace_suspend_for_callee(st);
    saved->current_function = st->current_function;
    saved->statement_kind = st->statement_kind;
    saved->assign_table = st->assign_table;
    saved->assign_slot = st->assign_slot;
    memcpy(saved->cancel_handler_name, st->cancel_handler_name, sizeof saved->cancel_handler_name);
    memcpy(saved->error_handler_name, st->error_handler_name, sizeof saved->error_handler_name);
    memcpy(saved->trace_file, st->trace_file, sizeof saved->trace_file);
    memcpy(saved->last_traced_line, st->last_traced_line, sizeof saved->last_traced_line);
    saved->lexer_read = st->lexer.read;
    saved->lexer_token_start = st->lexer.token_start;
    saved->lexer_kind = st->lexer.kind;
    saved->lexer_id = st->lexer.id;
    saved->lexer_cache = st->lexer.cache;
    saved->lexer_cache_base = st->lexer.cache_base;
    saved->lexer_cache_stamp = st->lexer.cache_stamp;

    st->last_if = -1;
    st->cancel_handler_mode = -1;
    st->error_handler_mode = 0;
    st->function_body = 0;
    st->debug_switches = 0;
    st->trace_switches = 0;
    // The called script is no function body: its lines count from its own start.
    st->current_function = NO_FUNCTION;
    st->cancel_handler_name[0] = '\0';
    st->error_handler_name[0] = '\0';
    // The trace file stays: DebugTrace(22) in the called script traces on into it.
    st->last_traced_line[0] = '\0';
}

void restore(EngineState* st, const CallerSettings& saved) {
    st->last_if = saved.last_if;
    st->cancel_handler_mode = saved.cancel_handler_mode;
    st->error_handler_mode = saved.error_handler_mode;
    st->function_body = saved.function_body;
    st->debug_switches = saved.debug_switches;
    st->trace_switches = saved.trace_switches;
    trace_resume_after_callee(st, saved.trace_handover);
    st->current_function = saved.current_function;
    st->statement_kind = saved.statement_kind;
    st->assign_table = saved.assign_table;
    st->assign_slot = saved.assign_slot;
    memcpy(st->cancel_handler_name, saved.cancel_handler_name, sizeof saved.cancel_handler_name);
    memcpy(st->error_handler_name, saved.error_handler_name, sizeof saved.error_handler_name);
    memcpy(st->trace_file, saved.trace_file, sizeof saved.trace_file);
    memcpy(st->last_traced_line, saved.last_traced_line, sizeof saved.last_traced_line);
    st->lexer.read = saved.lexer_read;
    st->lexer.token_start = saved.lexer_token_start;
    st->lexer.kind = saved.lexer_kind;
    st->lexer.id = saved.lexer_id;
    st->lexer.cache = saved.lexer_cache;
    st->lexer.cache_base = saved.lexer_cache_base;
    st->lexer.cache_stamp = saved.lexer_cache_stamp;
}

// ------------------------------------------------------------------ hooks

// The host hears of a script starting (-5) and of the Call level (-4);
// outcome 1 before and after a good run, -1 after a failed one. False when
// the host asked to stop (error 9012); any other pending error is kept.
bool announce(EngineState* st, const char* path, int32_t outcome) {
    PendingErrorAside aside(st->error);
    if (st->hook_flags & HOOK_FLAG_SCRIPT)
        (void)call_host_hook(st, KESTR_HOOK_SCRIPT, path, static_cast<uintptr_t>(outcome), 0, 0, 0);
    if ((st->hook_flags & HOOK_FLAG_CALL) && st->error != TERMINATE_HOST)
        (void)call_host_hook(st, KESTR_HOOK_CALL, path, static_cast<uintptr_t>(st->call_depth),
                             static_cast<uintptr_t>(outcome), 0, 0);
    if (st->error == TERMINATE_HOST) {
        aside.drop_pending();
        return false;
    }
    return true;
}

// "CALLING SCRIPT (path)" or "RETURNING FROM SCRIPT (path)", written with
// the statement kind of a Call while it is.
void trace_call(EngineState* st, bool calling) {
    if (!tracing(st)) return;
    const int32_t kind = st->statement_kind;
    st->statement_kind = SK_SCRIPT_CALL;
    TraceRecord(st, TRACE_RECORD_CALL, calling ? 1 : 0);
    st->statement_kind = kind;
}

StructureFrame call_frame(const EngineState* st) {
    StructureFrame frame =
        new_frame(st, FRAME_CALL, st->current_line_position, st->current_buffer, st->current_function);
    frame.assign_table = st->assign_table;
    frame.assign_slot = st->assign_slot;
    return frame;
}

void set_parameters(EngineState* st, const Value& parameters, bool wide) {
    if (wide) {
        const wchar_t* text = value_wtext(st, parameters.v);
        SetScriptParametersW(st, text ? text : L"");
    } else {
        const char* text = value_text(st, parameters.v);
        SetScriptParameters(st, text ? text : "");
    }
}

// Runs the script file found under a Call frame, with the caller's
// settings saved around it and the host told of the start and the end.
void run_called_script(EngineState* st, const char* path, Value* result) {
    const int32_t depth = st->structure_depth;
    const StructureFrame frame = call_frame(st);
    if (!push_frame(st, frame)) {
        --st->call_depth;
        return;
    }
    st->in_loop = 0;

    char caller_path[sizeof st->script_path];
    memcpy(caller_path, st->script_path, sizeof caller_path);
    lstrcpynA(st->script_path, path, sizeof st->script_path);
    const bool go = announce(st, path, 1);
    trace_call(st, true);

    CallerSettings saved;
    save_and_reset(st, &saved);
    const RunOutcome outcome = go ? g_upcalls.run_script_file(st, result, path) : RUN_STOPPED;
    if (!st->frames[depth].variable) release_value(st, result);
    restore(st, saved);
    st->structure_depth = depth;
    st->in_loop = frame.saved_in_loop;
    st->current_line_position = frame.line_position;
    st->current_buffer = frame.buffer;
    st->current_line_function = frame.function;

    // The called script has reported its own error; the caller stops quietly.
    const bool failed = outcome == RUN_STOPPED;
    if (failed && st->error != TERMINATE_CANCEL) {
        st->pending_cancel = TERMINATE_QUIET;
        st->error = TERMINATE_QUIET;
    }
    trace_call(st, false);  // still under the called script's path
    memcpy(st->script_path, caller_path, sizeof caller_path);
    --st->call_depth;
    (void)announce(st, st->script_path, failed ? -1 : 1);
}

// Call(file, parameters)
BUILTIN(call_script) {
    ++st->call_depth;
    set_parameters(st, args[2], wide);
    char path[MAX_PATH];
    if (!find_script(st, value_text(st, args[1].v), path)) {
        --st->call_depth;
        raise(st, Err::CallFileNotFound);
        return;
    }
    run_called_script(st, path, result);
}

}  // namespace

constexpr BuiltinRow kCallBuiltins[] = {
    BUILTIN_ROW("call", call_script),
};
constexpr size_t kCallBuiltinCount = sizeof(kCallBuiltins) / sizeof(kCallBuiltins[0]);
