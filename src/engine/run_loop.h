// The run loop: executes a script buffer line by line; Call runs another
// script file in a nested loop.
#pragma once

#include <stdint.h>
#include "engine/script_buffer.h"

struct EngineState;
struct Value;

// Terminating codes: an error number of 9000 or above ends the run quietly.
constexpr uint16_t TERMINATE_EXIT = 9000;
constexpr uint16_t TERMINATE_HOST = 9012;
constexpr uint16_t TERMINATE_QUIET = 9013;
constexpr uint16_t TERMINATE_CANCEL = 9999;

// Returns 1 at the normal end of the buffer, -1 when Return ended it, 0 when
// it stopped on an error, a cancel or a terminating code.
int RunScript(EngineState* st, Value* result, const ScriptBuffer& buffer, uint32_t* line_start,
              uint32_t* position);

void PumpMessagesFast(EngineState* st);
void CheckCancelKeys(EngineState* st);
void WaitPumping(EngineState* st, uint32_t milliseconds);
