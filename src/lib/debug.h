// The DebugTrace requests and DebugData's output, for hosts and services
// that set up a trace without a script statement.
#pragma once

#include <stdint.h>

struct EngineState;

// One DebugTrace request with its second and third arguments as text; false
// with the error raised (1771, 1809).
bool DebugTraceRequest(EngineState* st, int32_t request, const char* text, const char* option);

// "DebugData:", the texts and CR LF to the debugger output (silent mode: the log).
void SendDebugData(EngineState* st, const char* first, const char* second);
