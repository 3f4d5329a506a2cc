// Calling a user-defined function or subroutine: its frame, its private
// variable table, the caller's state saved around the body's run, argument
// binding and the Return value; and the hooks through which the dispatcher,
// the error driver and the traceback reach it.
#include <stddef.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/upcalls.h"
#include "base/word_scan.h"
#include "lang/error_driver.h"
#include "lang/evaluator.h"
#include "lang/functions.h"
#include "lang/host_call.h"
#include "lang/keyword_table.h"
#include "lang/statements.h"
#include "lang/trace.h"
#include "lang/variables.h"

namespace {

// ------------------------------------------------------------------ the caller's state

// Everything the body may change that the caller reads on with; one list
// serves the record, the save and the restore. The record is held in a
// block of its own: recursion a hundred levels deep would otherwise put a
// few megabytes of line buffers on the thread's stack.
#define CALLER_FIELDS(X)                                                                   \
    X(lexer) X(last_if) X(error_handler_mode) X(cancel_handler_mode) X(function_body)      \
    X(debug_switches) X(trace_switches) X(statement_kind) X(current_function)              \
    X(current_line_position) X(current_line_function) X(current_buffer) X(assign_table)    \
    X(assign_slot) X(statement_line) X(statement_buffer) X(statement_buffer_length)        \
    X(statement_buffer_base) X(statement_position) X(error_handler_name)                   \
    X(cancel_handler_name) X(script_path) X(trace_file) X(last_traced_line)

struct CallerState {
#define DECLARE_FIELD(name) decltype(EngineState::name) name;
    CALLER_FIELDS(DECLARE_FIELD)
#undef DECLARE_FIELD
    TraceHandover trace_handover;
};

template <typename T>
void copy_field(T& to, const T& from) {
    to = from;
}
template <typename T, size_t N>
void copy_field(T (&to)[N], const T (&from)[N]) {
    memcpy(to, from, sizeof to);
}
// The texts are copied as far as they go: their buffers are kilobytes long,
// and a call should not cost that many bytes moved twice.
// Whole words up to the one that holds the terminator: a path is copied in
// a few moves, an empty text in one.
template <size_t N>
void copy_field(char (&to)[N], const char (&from)[N]) {
    size_t n = 0;
    for (; n + 8 <= N; n += 8) {
        uint64_t word;
        memcpy(&word, from + n, 8);
        memcpy(to + n, &word, 8);
        if (has_zero_lane<char>(word)) return;
    }
    while (n < N - 1 && from[n]) {
        to[n] = from[n];
        ++n;
    }
    to[n] = '\0';
}
void copy_field(LexerState& to, const LexerState& from) {
    static_assert(sizeof(LexerState) - offsetof(LexerState, text) - sizeof from.text < alignof(LexerState),
                  "the text ends the lexer");
    memcpy(&to, &from, offsetof(LexerState, text));
    const size_t n = from.text_length < sizeof from.text ? from.text_length + 1u : sizeof from.text;
    memcpy(to.text, from.text, n);
}

// Equal texts, compared a word at a time while the words agree.
template <size_t N, size_t M>
bool same_text(const char (&a)[N], const char (&b)[M]) {
    size_t n = 0;
    for (; n + 8 <= N && n + 8 <= M; n += 8) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        if (x != y) break;
        if (has_zero_lane<char>(x)) return true;
    }
    return strcmp(a + n, b + n) == 0;
}

void save_caller(const EngineState* st, CallerState* s) {
#define SAVE_FIELD(name) copy_field(s->name, st->name);
    CALLER_FIELDS(SAVE_FIELD)
#undef SAVE_FIELD
}

// A body starts without the caller's handlers, debug or trace; the last-If
// result is kept.
void reset_for_body(EngineState* st, uint16_t index) {
    st->current_function = index;
    st->error_handler_mode = 0;
    st->cancel_handler_mode = -1;
    st->function_body = 1;
    st->debug_switches = 0;
    st->trace_switches = 0;
    st->error_handler_name[0] = '\0';
    st->cancel_handler_name[0] = '\0';
    // The trace file stays: DebugTrace(22) in the body traces on into it.
    st->last_traced_line[0] = '\0';
}

void restore_caller(EngineState* st, const CallerState* s) {
#define RESTORE_FIELD(name) copy_field(st->name, s->name);
    CALLER_FIELDS(RESTORE_FIELD)
#undef RESTORE_FIELD
}

// ------------------------------------------------------------------ hooks to the host

// The -5 hook when the running script file changes; the host's stop
// request (9012) wins over a pending error, any other error is kept.
bool announce_script(EngineState* st, const char* path, int32_t outcome) {
    if (!(st->hook_flags & HOOK_FLAG_SCRIPT)) return true;
    PendingErrorAside aside(st->error);
    (void)call_host_hook(st, KESTR_HOOK_SCRIPT, path, static_cast<uintptr_t>(outcome), 0, 0, 0);
    if (st->error == TERMINATE_HOST) {
        aside.drop_pending();
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ the private table

// A zero-filled table of the main table's capacity: a spare one when there
// is one, else a new block.
HGLOBAL take_table_block(EngineState* st, uint16_t capacity) {
    // Fixed: locking a fixed block takes no lock of the process heap, and
    // each call locks its table more than once.
    return take_spare_block(st->spare_tables, GMEM_FIXED | GMEM_ZEROINIT,
                            static_cast<SIZE_T>(capacity) * sizeof(VariableSlot));
}

// A table goes back as spare only when it is zero-filled again: its locals
// were dropped (each dropped slot is cleared), so only the slots below its
// used count and the scratch slot can hold anything.
void give_table_block(EngineState* st, const VariableScope& scope) {
    if (scope.capacity == st->scopes[0].capacity) {
        if (auto* slots = static_cast<VariableSlot*>(GlobalLock(scope.handle))) {
            memset(slots, 0, static_cast<size_t>(scope.used) * sizeof(VariableSlot));
            GlobalUnlock(scope.handle);
            give_spare_block(st->spare_tables, scope.handle);
            return;
        }
    }
    GlobalFree(scope.handle);
}

// A fresh zero-filled table of the main table's capacity in the first free
// registry entry 1..100; NO_SLOT with 1672 when none is free or no memory.
uint16_t open_scope(EngineState* st) {
    const uint16_t capacity = st->scopes[0].capacity;
    for (uint16_t id = 1; id < VARIABLE_TABLES; ++id) {
        if (st->scopes[id].handle) continue;
        HGLOBAL handle = take_table_block(st, capacity);
        if (handle && register_table(st, id, handle, capacity)) return id;
        if (handle) GlobalFree(handle);
        break;
    }
    raise(st, Err::UdfAllocFailed);
    return NO_SLOT;
}

// Freeing the registry entry is what makes pointers into the table fail
// (3814): their handle, sequence and time stamp no longer match. A reused
// block gets a new sequence number, so old pointers fail on it as well.
void free_scope(EngineState* st, uint16_t id) {
    if (st->scopes[id].handle) give_table_block(st, st->scopes[id]);
    memset(&st->scopes[id], 0, sizeof st->scopes[id]);
}

// A result still naming a local variable borrows its VARIANT from it: the
// object is copied into the result before the locals go.
void detach_result(EngineState* st, Value* result, uint16_t scope) {
    if (result->origin_table != scope) return;
    if ((result->v.flags & VF_VARIANT) && result->origin_index != ORIGIN_NONE) {
        ValuePayload owned = result->v;
        if (variant_copy(st, &result->v, &owned)) {
            result->v.variant = owned.variant;
        } else {
            result->v.variant.vt = VT_EMPTY;
            result->v.flags &= ~VF_COMOBJ;
        }
    }
    result->origin_ref = nullptr;
    result->origin_index = ORIGIN_NONE;
    result->origin_table = ORIGIN_NONE;
}

// Empties the current (private) table. An array that the result holds
// keeps its own share and survives.
void release_locals(EngineState* st) {
    for (uint16_t slot = st->table.used; slot-- > 1;) drop_slot(st, slot);
}

// ------------------------------------------------------------------ arguments

// Parameter i becomes a variable of the current table holding a copy of
// argument i; an array gains a share for as long as the variable holds it.
bool bind_arguments(EngineState* st, const FunctionDescriptor& d, Value* args, int count) {
    const int bound = count < d.parameter_count ? count : d.parameter_count;
    for (int i = 0; i < bound; ++i) {
        const char* name = d.parameters[i];
        const uint16_t slot = find_or_create_slot(st, name, strlen(name));
        if (slot == NO_SLOT) return false;
        ValuePayload copy;
        uint32_t mode = copy_mode(RK_VALUE, RK_SLOT) | VM_DUP_TEXT | VM_SHARE_ARRAY | VM_DUP_VARIANT;
        if (!CopyValue(st, &args[i + 1].v, &copy, 0, mode)) {
            ReleaseValue(st, &copy, RK_SLOT, 0);
            return false;
        }
        ValuePayload* target = &slot_at(st, slot)->v;
        ReleaseValue(st, target, RK_SLOT, 0);
        *target = copy;
    }
    return true;
}

// ------------------------------------------------------------------ one call

StructureFrame function_frame(const EngineState* st, int call_kind) {
    // Kinds above 1 are called by the engine, not from a line.
    const bool from_line = call_kind == CALL_ORDINARY || call_kind == CALL_DIALOG;
    StructureFrame frame = from_line ? new_frame(st, FRAME_FUNCTION, st->current_line_position,
                                                 st->current_buffer, st->current_function)
                                     : new_frame(st, FRAME_FUNCTION, 0, nullptr, NO_FUNCTION);
    frame.resume_position = static_cast<uint32_t>(call_kind);
    frame.assign_table = st->assign_table;
    frame.assign_slot = st->assign_slot;
    return frame;
}

// Runs the function: its native handler, or its arguments bound and its
// body run. Returns the run loop's outcome; NOT_RUN when binding failed, whose
// error was reported by no one.
constexpr int NOT_RUN = -2;

int run_body(EngineState* st, const FunctionDescriptor& d, Value* result, Value* args, int count,
             const NativeHandler* native) {
    if (native) return native->call(st, native->word) ? RUN_ENDED : RUN_STOPPED;
    if (!bind_arguments(st, d, args, count)) return NOT_RUN;
    park_script(st, d.body);
    uint32_t line_start = 0, position = 0;
    return g_upcalls.run_script(st, result, ScriptBuffer{d.body, d.body_length, d.body_start}, &line_start, &position);
}

// A function (unlike a subroutine) runs its body in a private table, whose
// variables go when it ends.
int run_in_scope(EngineState* st, const FunctionDescriptor& d, uint16_t scope, Value* result, Value* args,
                 int count, const NativeHandler* native) {
    TableSave save;
    if (!SwitchTable(st, scope, &save)) {
        st->error = 0;
        raise(st, Err::UdfLockFailed);
        return NOT_RUN;
    }
    const int outcome = run_body(st, d, result, args, count, native);
    detach_result(st, result, scope);
    release_locals(st);
    if (!RestoreTable(st, &save)) {
        st->error = 0;
        raise(st, Err::UdfLockFailed);
        return NOT_RUN;
    }
    return outcome;
}

// After the body: 9000 (Exit) and 9999 (cancel) travel on; any other
// failure was reported inside the body and stops the caller quietly.
void settle_error(EngineState* st, int outcome) {
    if (outcome != RUN_STOPPED) return;
    if (st->error == TERMINATE_EXIT || st->error == TERMINATE_CANCEL) return;
    st->error = ERROR_IN_FUNCTION_BODY;
}

// One call, once the caller's state is saved in `caller`: the frame pushed,
// the private table opened, the host told when the script file changes,
// the body run, and the caller's state given back.
bool invoke(EngineState* st, uint16_t index, const FunctionDescriptor& d, Value* result, Value* args, int count,
            const NativeHandler* native, int call_kind, CallerState* caller) {
    const int32_t depth = st->structure_depth;
    const StructureFrame frame = function_frame(st, call_kind);
    CHECK(push_frame(st, frame));
    st->in_loop = 0;
    uint16_t scope = NO_SLOT;
    if (!d.subroutine) {
        scope = open_scope(st);
        if (scope == NO_SLOT) {
            st->structure_depth = depth;
            st->in_loop = frame.saved_in_loop;
            return false;
        }
    }

    // The same bytes compare equal without the locale's collation, which
    // costs more than the rest of a call.
    const bool same_bytes = same_text(st->script_path, d.script_path);
    const bool path_changed = !same_bytes && lstrcmpiA(st->script_path, d.script_path) != 0;
    if (!same_bytes) lstrcpynA(st->script_path, d.script_path, sizeof st->script_path);
    const bool go = !path_changed || announce_script(st, d.script_path, 1);
    trace_function_enter(st, d.name, nullptr);
    caller->trace_handover = trace_suspend_for_callee(st);
    reset_for_body(st, index);

    release_value(st, result);
    int outcome = NOT_RUN;
    if (go) outcome = scope != NO_SLOT ? run_in_scope(st, d, scope, result, args, count, native)
                                       : run_body(st, d, result, args, count, native);
    if (scope != NO_SLOT) free_scope(st, scope);
    if (!st->frames[depth].variable) release_value(st, result);

    restore_caller(st, caller);
    trace_resume_after_callee(st, caller->trace_handover);
    st->structure_depth = depth;
    st->in_loop = frame.saved_in_loop;
    settle_error(st, outcome);
    if (path_changed) (void)announce_script(st, st->script_path, st->error ? -1 : 1);
    trace_function_exit(st, d.name);
    return st->error == 0;
}

// ------------------------------------------------------------------ hooks

bool invoke_handler(EngineState* st, uint16_t id, Value* result, Value* args, int count) {
    return InvokeFunction(st, id, result, args, count, nullptr, CALL_ERROR_HANDLER);
}

bool body_buffer(EngineState* st, uint16_t index, ScriptBuffer* out) {
    const FunctionDescriptor* d = function_descriptor(st, index);
    if (!d) return false;
    *out = ScriptBuffer{d->body, d->body_length, d->body_start};
    return true;
}

}  // namespace

bool InvokeFunction(EngineState* st, uint16_t id, Value* result, Value* args, int count, const NativeHandler* native,
                    int call_kind) {
    const int index = static_cast<int>(id) - UDF_ID_BASE;
    const FunctionDescriptor* d = function_descriptor(st, index);
    if (!d) return raise(st, Err::UdfProcessingError);

    HGLOBAL block = take_spare_block(st->spare_caller_states, GMEM_FIXED, sizeof(CallerState));
    if (!block) return raise(st, Err::UdfAllocFailed);
    auto* caller = static_cast<CallerState*>(block);
    save_caller(st, caller);
    ++st->function_nesting;
    const bool ok = invoke(st, static_cast<uint16_t>(index), *d, result, args, count, native, call_kind, caller);
    --st->function_nesting;
    give_spare_block(st->spare_caller_states, block);
    return ok;
}

void install_function_hooks() {
    install_function_lookup();
    g_invoke_handler_function = invoke_handler;
    g_function_body_buffer = body_buffer;
}

// An id that names no defined function is one its group has no case for
// (3046), as for every other id range; 3627 stays for a callback whose
// function went away.
void CallUserFunction(EngineState* st, uint16_t id, Value* result, Value* args, int count) {
    if (!function_descriptor(st, static_cast<int>(id) - UDF_ID_BASE)) {
        raise(st, Err::FunctionNotDefined);
        return;
    }
    (void)InvokeFunction(st, id, result, args, count, nullptr, CALL_ORDINARY);
}
