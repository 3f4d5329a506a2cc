// The statement driver and error reporting: classifies the error a
// statement left, applies ErrorMode and the script's handlers, and reports.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "engine/script_buffer.h"

struct EngineState;
struct Value;

enum Severity : int { SEVERITY_MODERATE = 0, SEVERITY_MINOR = 1, SEVERITY_SEVERE = 13 };

// 1 minor (1..2000), 0 moderate (2001..3000), 13 severe (3001..8999).
int ErrorSeverity(int error);

// Runs one statement through the executor and acts on its error. Returns 1
// to continue with the next line, 0 to stop the run, -1 when Return ended
// the buffer.
int RunStatement(EngineState* st, Value* result, char* line, uint32_t statement_offset,
                 uint32_t* next_position, uint32_t line_position, const ScriptBuffer& buffer,
                 bool no_jump_cache);

// Shows one error; returns 1 to continue, 0 to stop. A headline above 99
// names the message shown in place of the offending line.
int ReportError(EngineState* st, HWND owner, int headline, int error, int severity);
