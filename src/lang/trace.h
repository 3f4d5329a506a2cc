// The debug trace: the records that the statement driver, the run loop,
// Call and function calls append to the trace file, and the table dumps.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include "base/engine_state.h"

enum TraceMode : int32_t { TRACE_OFF = 0, TRACE_EVERY_STATEMENT = 1, TRACE_ERRORS_ONLY = 2 };

// Option bits (DebugTrace 104, 102, 103).
constexpr uint32_t TRACE_OPTION_NO_TIMES = 0x1;
constexpr uint32_t TRACE_OPTION_BIT1 = 0x2;
constexpr uint32_t TRACE_OPTION_BIT2 = 0x4;

// Statement kinds that callers set while they write a call record (the
// statement driver's own kinds are in lang/structures.h).
constexpr int32_t SK_FUNCTION_CALL = 13;
constexpr int32_t SK_SCRIPT_CALL = 14;

// A trace "file" of this name goes to the system debugger output.
constexpr char TRACE_TO_DEBUGGER[] = "*DEBUGDATA*";

// Record kinds of TraceRecord.
enum TraceRecordKind : int {
    TRACE_RECORD_STATEMENT = 1,  // before a statement
    TRACE_RECORD_END = 2,        // normal end of the main run; flag: structures still open
    TRACE_RECORD_TERMINAL = 3,   // an error that stops the run
    TRACE_RECORD_SUPPRESSED = 4, // an error after which the run goes on
    TRACE_RECORD_ERROR_DUMP = 5, // first record of an error-only trace
    TRACE_RECORD_CALL = 6,       // around Call and function calls; flag: 1 calling, 0 returning
    TRACE_RECORD_ERROR_MODE = 7, // after ErrorMode
};

inline bool tracing(const EngineState* st) { return st->trace_switches != TRACE_OFF; }

// Writes one record of `kind` about the statement being driven (its text is
// st->statement_line). Never raises; an unopenable file drops the record.
void TraceRecord(EngineState* st, int kind, int flag);

// The statement driver's two halves of a statement record: the text before
// the statement runs, the outcome after it (with the statement's result).
void trace_statement_start(EngineState* st, const char* statement);
void trace_statement_outcome(EngineState* st, const char* statement, const Value* result);
// After an error that the driver reported or let pass: `stops` picks the
// "TERMINAL" form. `error` is the code the statement left (indirect codes
// are resolved here).
void trace_statement_error(EngineState* st, const char* statement, int error, bool stops);

// Function calls (for the user-defined-function code): the caller writes
// "CALLING UDF (name)" before it switches the trace off for the body, and
// after the body "--- Leaving UDF (name) ---" and "RETURNING FROM UDF (name)"
// once the caller's trace mode is back. `arguments` (may be null) is shown
// under the "In UDF" line when the trace runs inside the body (request 22).
void trace_function_enter(EngineState* st, const char* name, const char* arguments);
void trace_function_exit(EngineState* st, const char* name);
// The callee starts with the trace and the debugger off; request 22 brings
// back the caller's trace mode. Keep the returned value and hand it back
// after the callee, once the caller's trace and debug modes are restored.
struct TraceHandover {
    int32_t caller_trace_mode;  // the caller's own caller's mode
    int32_t text_pending;       // the calling statement awaits its outcome
};
TraceHandover trace_suspend_for_callee(EngineState* st);
void trace_resume_after_callee(EngineState* st, const TraceHandover& saved);

// Free text (DebugTrace 3, 4, 203, 204): between CR LF pairs, framed by
// lines of dollars when asked; written even when the trace is off when
// `always` is set.
void trace_text(EngineState* st, const char* text, bool framed, bool always);
void trace_header(EngineState* st);
void trace_variable_error(EngineState* st, const char* name);  // the "Error Reporting" record of 3052

// Dumps, each to the trace file.
void trace_dump_functions(EngineState* st);
void trace_dump_variables(EngineState* st);
void trace_dump_structures(EngineState* st);
void trace_dump_settings(EngineState* st);
void trace_dump_internal(EngineState* st, const char* item);

// The outcome text of a statement of `kind` (the texts of the trace and the
// debugger): `condition` picks the first text, `value` is shown for plain
// statements, Switch and Return, `name` for calls.
void statement_outcome(EngineState* st, int kind, int condition, const Value* value, const char* name,
                       char* out, size_t size);
// A statement as shown: resolved jumps read as "goto " and "gosub".
void readable_statement(const char* text, char* out, size_t size);
// A value as the trace shows it: numbers as text, strings in double quotes.
void trace_value_text(EngineState* st, const ValuePayload& value, char* out, size_t size);

