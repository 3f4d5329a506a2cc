// The statement driver and error reporting: classifies the error a
// statement left, applies ErrorMode and the script's handlers, and reports.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/exports.h"
#include "base/script_buffer.h"
#include "base/stdcall_export.h"

struct CachedLineRef;

struct EngineState;
struct Value;

// Notes the statement about to run where reports, handlers and the trace
// look for it, and clears what the statement before it left: no error, no
// kind, no condition, an empty *result.
void begin_statement(EngineState* st, Value* result, const char* line, const ScriptBuffer& buffer,
                     uint32_t line_position);

// 1 minor (1..2000), 0 moderate (2001..3000), 13 severe (3001..8999).
int ErrorSeverity(int error);

// Runs one statement through the executor and acts on its error. Returns a
// StatementOutcome (lang/statements.h): STATEMENT_DONE to continue with the
// next line, STATEMENT_STOPPED to stop the run, STATEMENT_RETURNED when
// Return ended the buffer.
// `kept`: the line's entry in the token cache, if it has one.
int RunStatement(EngineState* st, Value* result, char* line, uint32_t statement_offset,
                 uint32_t* next_position, uint32_t line_position, const ScriptBuffer& buffer,
                 bool no_jump_cache, const CachedLineRef& kept);

// Shows one error; returns 1 to continue, 0 to stop. A headline above 99
// names the message shown in place of the offending line.
int ReportError(EngineState* st, HWND owner, int headline, int error, int severity);


// The number a script sees for an error: the indirect error value behind
// the user-defined (1668, 2669, 3670), extender (1213, 2214, 3215) and
// already-reported (9013..9016) codes, the error itself otherwise.
// 1213, 2214, 3215 (extenders) and 1668, 2669, 3670 (ErrorEvent).
bool is_user_or_extender_error(int error);
bool is_indirect_error(int error);
int real_error_number(const EngineState* st, int error);

// Keeps `error` with its message (and the statement's line when has_line)
// as the report the host reads, showing nothing: for a failure shown outside
// the error dialog or under a headline that is not its reason.
void keep_report(EngineState* st, int error, bool has_line);

// Shows the report whose texts are already in st->offending_line and
// st->error_text, by ReportError's rules (dialog or silent log), and keeps
// it in st->last_report. Returns 1 when the user chose to go on.
int show_error_report(EngineState* st, HWND owner, int error, int severity);

// ErrorEvent(severity, code, text), also IntControl 79: raises the user-
// defined error and, when no handler is armed and the error is not a minor
// one under @OFF, reports it at once and leaves 9016 (with the continue flag
// when the user chose to go on).
void raise_error_event(EngineState* st, int severity, int code, const char* text);

// Builds tqerrorarray and, unless array_only, the tqerror... variables for
// the statement being driven.
void SetErrorVariables(EngineState* st, const ScriptBuffer& buffer, bool cancel, bool array_only);

// Handler mode 3: runs the handler function with tqerrorarray. True when it
// handled the error (the run goes on).
bool CallHandlerFunction(EngineState* st, bool cancel);

// Runs user-defined function `id` as an error handler (call kind 2) with
// args[1..count]; the user-defined-function code installs it. While it is
// null, handler mode 3 counts as no handler.
extern bool (*g_invoke_handler_function)(EngineState* st, uint16_t id, Value* result, Value* args,
                                         int count);

// The body buffer (handle, length, base) of user-defined function `index`,
// for tracebacks through function bodies; installed by the user-defined-
// function code. While it is null such frames show no line.
extern bool (*g_function_body_buffer)(EngineState* st, uint16_t index, ScriptBuffer* out);

// The error dialog (ERRORMSG, ERRORMSGB) and the traceback (STACKINFO); the
// dialog parameter is the EngineState.
KESTR_STDCALL_API INT_PTR CALLBACK ErrorMsgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
KESTR_STDCALL_API INT_PTR CALLBACK StackInfoProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
