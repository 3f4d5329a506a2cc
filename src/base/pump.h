// Keeping the user interface alive between statements.
#pragma once

struct EngineState;

// One pass of message handling on the engine's thread.
void PumpMessages(EngineState* st);
