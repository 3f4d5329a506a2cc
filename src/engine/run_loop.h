// The run loop: executes a script buffer line by line; Call runs another
// script file in a nested loop.
#pragma once

#include <stdint.h>
#include "base/script_buffer.h"

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

// Bits of st->hook_flags: which host hooks the engine calls.
constexpr uint32_t HOOK_FLAG_IDLE = 0x1;       // id -1 "1" from the cancel-key poll
constexpr uint32_t HOOK_FLAG_STATEMENT = 0x2;  // id -1 "2"/"3" before every statement
constexpr uint32_t HOOK_FLAG_CALL = 0x4;       // id -4 around Call
constexpr uint32_t HOOK_FLAG_SCRIPT = 0x8;     // id -5 when another script file starts

// The host's hook -1 with `text` and four words; the current directory is
// put back when the host reports that it changed it, and the pending error
// number is kept. False (error 9012) when the host asked to stop the script.
bool host_statement_hook(EngineState* st, const char* text, uintptr_t word2, uintptr_t word3,
                         uintptr_t word4, uintptr_t word5);

void PumpMessagesFast(EngineState* st);
void CheckCancelKeys(EngineState* st);
void WaitPumping(EngineState* st, uint32_t milliseconds);
