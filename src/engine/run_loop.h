// The run loop: executes a script buffer line by line.
#pragma once

#include <stdint.h>
#include "base/script_buffer.h"
#include "base/upcalls.h"

struct EngineState;
struct Value;

// Runs the buffer from *position until its end, a Return or a stop.
RunOutcome RunScript(EngineState* st, Value* result, const ScriptBuffer& buffer, uint32_t* line_start,
                     uint32_t* position);
