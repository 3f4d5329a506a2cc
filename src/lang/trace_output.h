// The trace file as the records write it: opened for one record, appended
// to and closed again, or the system debugger output for "*DEBUGDATA*".
#pragma once

#include <stddef.h>
#include "base/engine_state.h"

// The line of 60 asterisks that opens a trace and closes every dump.
extern const char TRACE_STARS[];

class TraceOutput {
public:
    explicit TraceOutput(EngineState* st);
    ~TraceOutput();
    TraceOutput(const TraceOutput&) = delete;
    TraceOutput& operator=(const TraceOutput&) = delete;

    void write(const char* text, size_t length);
    void put(const char* text);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    bool to_debugger_ = false;
};
