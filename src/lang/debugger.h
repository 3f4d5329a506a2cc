// The interactive debugger: a dialog before each statement that shows it,
// the previous statement's outcome and a chosen variable.
#pragma once

#include <windows.h>
#include "base/engine_state.h"
#include "base/stdcall_export.h"

// Debug modes (EngineState::debug_switches).
constexpr int32_t DEBUG_OFF = 0;
constexpr int32_t DEBUG_ON = 1;
constexpr int32_t DEBUG_ALL = -1;  // stops in skipped regions too

inline bool debugging(const EngineState* st) { return st->debug_switches != 0; }

// Shows the debugger before `statement`; false (with 9999 raised) when the
// user cancelled. Does nothing in a skipped region unless the mode is -1,
// nor in silent mode, where no dialog may wait for a person.
bool DebugStep(EngineState* st, const char* statement);
// Keeps the outcome of the statement that just ran for the next step.
void debugger_note_outcome(EngineState* st, const Value* result);

// "&Show Var": the text of `input` up to its first "=" or blank outside
// brackets names a variable or element; `out` gets "name = "value"" or the
// name and message 806.
void show_variable_text(EngineState* st, const char* input, char* out, size_t size);

KESTR_STDCALL_API INT_PTR __stdcall DebugProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// At the normal end of the main script: one last stop that shows
// ";;;END OF JOB;;;"; a cancel there changes nothing.
void debugger_note_end(EngineState* st);
