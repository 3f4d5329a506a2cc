// Keeping the user interface alive between statements.
#pragma once

#include <stdint.h>

struct EngineState;

// One pass of message handling on the engine's thread.
void PumpMessages(EngineState* st);
// The same without waiting for the window server's idle state.
void PumpMessagesFast(EngineState* st);
// Polls Ctrl+Break (and calls the host's idle hook when it asked for it).
void CheckCancelKeys(EngineState* st);
// Waits the given time while pumping; a cancel ends the wait early.
void WaitPumping(EngineState* st, uint32_t milliseconds);
