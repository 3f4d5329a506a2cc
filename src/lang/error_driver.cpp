// The statement driver: runs one statement through the executor and decides
// what an error it left means — cancel and error handlers, ErrorMode, the
// report — and the handler-function call of handler mode 3.
#include "lang/error_driver.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "lang/debugger.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/statements.h"
#include "lang/trace.h"
#include "lang/variables.h"

bool (*g_invoke_handler_function)(EngineState* st, uint16_t id, Value* result, Value* args,
                                  int count) = nullptr;

int ErrorSeverity(int error) {
    if (error <= 2000) return SEVERITY_MINOR;
    if (error <= 3000) return SEVERITY_MODERATE;
    return SEVERITY_SEVERE;
}

bool is_user_or_extender_error(int error) {
    switch (error) {
    case static_cast<int>(Err::ExtenderMinorError):
    case static_cast<int>(Err::ExtenderModerateError):
    case static_cast<int>(Err::ExtenderSevereError):
    case static_cast<int>(Err::UserMinorError):
    case static_cast<int>(Err::UserModerateError):
    case static_cast<int>(Err::UserSevereError):
        return true;
    default:
        return false;
    }
}

bool is_indirect_error(int error) {
    return is_user_or_extender_error(error) ||
           (error >= TERMINATE_QUIET && error <= ERROR_REPORTED_BY_EVENT);
}

// A quiet stop that nobody gave a number to (a failed Call sets only the
// code) keeps its own number.
int real_error_number(const EngineState* st, int error) {
    if (!is_indirect_error(error) || st->indirect_error == 0) return error;
    return st->indirect_error;
}

namespace {

constexpr char kCancelLabel[] = "CANCEL";
constexpr char kErrorLabel[] = "TQERRORHANDLER";

// ------------------------------------------------------------ handler jumps

// Handler mode 2 runs the handler label as a GoSub: Return there resumes at
// the line after the failing one. The nesting error replaces the error
// being handled, which is then reported instead.
bool push_handler_gosub(EngineState* st, uint32_t resume, uint32_t line_position,
                        const ScriptBuffer& buffer, Err nesting_error) {
    if (st->structure_depth >= STRUCTURE_FRAMES) {
        st->error = static_cast<uint16_t>(nesting_error);
        return false;
    }
    StructureFrame frame =
        new_frame(st, gosub_frame_type(st->last_if), line_position, buffer.handle, st->current_function);
    frame.resume_position = resume;
    PendingErrorAside aside(st->error);
    const bool pushed = push_frame(st, frame);
    if (pushed) st->in_loop = 0;
    return pushed;
}

void pop_handler_gosub(EngineState* st) {
    StructureFrame* frame = top_frame(st);
    if (!frame) return;
    st->in_loop = frame->saved_in_loop;
    --st->structure_depth;
}

// The label search must not see the pending error; a missing label leaves
// that error standing, not 3033.
bool jump_to_label(EngineState* st, const char* label, const ScriptBuffer& buffer,
                   uint32_t* next_position) {
    PendingErrorAside aside(st->error);
    uint32_t target = 0;
    if (find_label(st, label, buffer, &target) && st->error == 0) {
        *next_position = target;
        aside.drop_pending();
        return true;
    }
    return false;
}

bool handler_function_available() { return g_invoke_handler_function != nullptr; }

// Modes 1 and 2 (and -1, a Called script's cancel mode, which stays armed).
bool jump_to_handler(EngineState* st, int32_t* mode, const char* label, Err nesting_error,
                     bool cancel, const ScriptBuffer& buffer, uint32_t* next_position,
                     uint32_t line_position) {
    const bool gosub = *mode == 2;
    if (gosub && !push_handler_gosub(st, *next_position, line_position, buffer, nesting_error))
        return false;
    if (!cancel) st->last_error = real_error_number(st, st->error);
    SetErrorVariables(st, buffer, cancel, false);
    if (*mode != -1) *mode = 0;
    if (jump_to_label(st, label, buffer, next_position)) return true;
    if (gosub) pop_handler_gosub(st);
    return false;
}

// A user cancel (9999) goes to the cancel handler when one is armed. True
// when a handler took it.
bool handle_cancel(EngineState* st, const ScriptBuffer& buffer, uint32_t* next_position,
                   uint32_t line_position) {
    int32_t* mode = &st->cancel_handler_mode;
    if (*mode == 3) {
        if (!handler_function_available()) return false;
        SetErrorVariables(st, buffer, true, true);
        return CallHandlerFunction(st, true);
    }
    if (*mode != 1 && *mode != 2 && *mode != -1) return false;
    return jump_to_handler(st, mode, kCancelLabel, Err::CancelHandlerNesting, true, buffer,
                           next_position, line_position);
}

// An error below 9000 goes to the error handler when one is armed.
// *array_built tells the report that may follow that the handler already
// received the error's variables, so they are not set a second time.
bool handle_error(EngineState* st, const ScriptBuffer& buffer, uint32_t* next_position,
                  uint32_t line_position, bool* array_built) {
    int32_t* mode = &st->error_handler_mode;
    if (*mode == 3) {
        if (!handler_function_available()) return false;
        st->last_error = real_error_number(st, st->error);
        SetErrorVariables(st, buffer, false, true);
        *array_built = true;
        return CallHandlerFunction(st, false);
    }
    if (*mode != 1 && *mode != 2) return false;
    *array_built = true;
    return jump_to_handler(st, mode, kErrorLabel, Err::ErrorHandlerNesting, false, buffer,
                           next_position, line_position);
}

// No handler took the error, so it is reported. Returns the run loop's
// answer.
int report_statement_error(EngineState* st, const char* line, const ScriptBuffer& buffer,
                           bool array_built) {
    lstrcpynA(st->offending_line, line, LINE_BUFFER_BYTES);
    const int error = st->error;
    const int severity = ErrorSeverity(error);
    if (st->error_mode == ERRMODE_OFF && severity == SEVERITY_MINOR && !array_built) {
        st->last_error = real_error_number(st, error);
        SetErrorVariables(st, buffer, false, false);
    }
    const int go_on = ReportError(st, nullptr, 1, error, severity);
    free_error_info(st);
    // Trace: the outcome record (suppressed or terminal error) is written here.
    if (!go_on) return STATEMENT_STOPPED;
    st->error = 0;
    return STATEMENT_DONE;
}

// Deals with the error a statement left in st->error: the continue and
// go-on codes clear it, a handler may take it, and what is left is reported
// or ends the run.
int act_on_error(EngineState* st, const char* line, uint32_t* next_position, uint32_t line_position,
                 const ScriptBuffer& buffer) {
    const uint16_t error = st->error;
    bool array_built = false;
    if (error >= TERMINATE_EXIT) {
        if (st->continue_flag) {
            st->continue_flag = 0;
            st->error = 0;
            return STATEMENT_DONE;
        }
        if (error == ERROR_GO_ON) {
            st->trace_error = static_cast<uint16_t>(st->indirect_error);
            st->error = 0;
            return STATEMENT_DONE;
        }
        if (error == TERMINATE_CANCEL && handle_cancel(st, buffer, next_position, line_position))
            return STATEMENT_DONE;
    } else if (handle_error(st, buffer, next_position, line_position, &array_built)) {
        return STATEMENT_DONE;
    }
    // What is left at 9000 or above (a cancel nobody took, Exit inside a
    // handler) ends the run unreported; a handler's own nesting error
    // (3618, 3619) is reported like any other.
    if (st->error >= TERMINATE_EXIT) return STATEMENT_STOPPED;
    if (st->error == 0) return STATEMENT_DONE;
    return report_statement_error(st, line, buffer, array_built);
}

// ------------------------------------------------------------ handler function

// Defined functions are matched by length and name without regard to case.
int find_handler_function(EngineState* st, const char* name) {
    if (!IsCharAlphaA(name[0]) || !UserFunctions.active_count || !UserFunctions.name) return -1;
    const size_t length = strlen(name);
    const int count = UserFunctions.active_count(st);
    for (int index = 0; index < count; ++index) {
        uint16_t candidate_length = 0;
        const char* candidate = UserFunctions.name(st, index, &candidate_length);
        if (candidate && candidate_length == length && _strnicmp(candidate, name, length) == 0)
            return index;
    }
    return -1;
}

// The handler's argument: tqerrorarray as SetErrorVariables left it.
bool load_error_array(EngineState* st, Value* argument) {
    const uint16_t slot = FindSlot(st, "tqerrorarray");
    if (slot == NO_SLOT) return false;
    return CopyValue(st, &slot_at(st, slot)->v, &argument->v, slot,
                     copy_mode(RK_SLOT, RK_VALUE) | VM_SHARE_ARRAY | VM_DUP_TEXT);
}

}  // namespace

bool CallHandlerFunction(EngineState* st, bool cancel) {
    int32_t* mode = cancel ? &st->cancel_handler_mode : &st->error_handler_mode;
    const char* name = cancel ? st->cancel_handler_name : st->error_handler_name;
    const int index = find_handler_function(st, name);
    if (index < 0 || !g_invoke_handler_function) return false;
    if (!UserFunctions.parameter_count || UserFunctions.parameter_count(st, index) != 1) return false;

    PendingErrorAside aside(st->error);
    Value args[2];
    init_value(&args[0]);
    init_value(&args[1]);
    Value result;
    init_value(&result);
    bool ran = load_error_array(st, &args[1]);
    st->error = 0;
    if (ran) ran = g_invoke_handler_function(st, static_cast<uint16_t>(UDF_ID_BASE + index), &result, args, 1);
    const bool failed = !ran || st->error != 0;
    // Bit 0 keeps the handler armed, bit 1 leaves the error to be reported.
    int32_t answer = 0;
    if (!failed && ToInteger(st, &result.v, true)) answer = result.v.integer;
    release_value(st, &result);
    release_value(st, &args[1]);
    if (!(answer & 1)) *mode = 0;
    if (!failed && !(answer & 2)) {
        aside.drop_pending();
        st->error = 0;
        return true;
    }
    // Exit inside the handler ends the run; anything else restores the
    // error that the handler was called for.
    if (st->error == TERMINATE_EXIT) aside.drop_pending();
    return false;
}

void begin_statement(EngineState* st, Value* result, const char* line, const ScriptBuffer& buffer,
                     uint32_t line_position) {
    init_value(result);
    st->statement_line = line;
    st->statement_buffer = buffer.handle;
    st->statement_buffer_length = buffer.length;
    st->statement_buffer_base = buffer.base;
    st->statement_position = line_position;
    st->error = 0;
    st->statement_kind = 0;
    st->last_condition = 0;
}

int RunStatement(EngineState* st, Value* result, char* line, uint32_t statement_offset,
                 uint32_t* next_position, uint32_t line_position, const ScriptBuffer& buffer,
                 bool no_jump_cache, const CachedLineRef& kept) {
    begin_statement(st, result, line, buffer, line_position);
    const char* statement = line + statement_offset;
    if (tracing(st)) trace_statement_start(st, statement);
    // The debugger may stop the run before the statement (9999).
    const bool stepped = !debugging(st) || DebugStep(st, statement);
    lexer_start(st, statement);

    int outcome = STATEMENT_STOPPED;
    if (!stepped) {
        st->pending_line_error = 0;
    } else if (st->pending_line_error) {
        st->error = st->pending_line_error;
        st->pending_line_error = 0;
    } else {
        outcome = ExecuteStatement(st, result, line, statement_offset, next_position, line_position,
                                   buffer, no_jump_cache, kept);
    }
    st->trace_error = st->error;
    if (debugging(st)) debugger_note_outcome(st, result);
    if (st->error == 0) {
        if (tracing(st)) trace_statement_outcome(st, statement, result);
        return outcome;
    }
    const uint16_t error = st->error;
    const int go_on = act_on_error(st, line, next_position, line_position, buffer);
    if (tracing(st)) {
        // The go-on code left its real number in trace_error.
        const int traced = error == ERROR_GO_ON ? st->trace_error : error;
        trace_statement_error(st, statement, traced, go_on == STATEMENT_STOPPED);
    }
    return go_on;
}
