// Calls from a lower floor of the engine into a higher one. The language
// runs user-defined function bodies through the run loop and built-in
// functions through the dispatcher, both of which sit above it; the line
// reader reports through the error driver; the host bridge hands out the
// services entry. The engine fills this table once when the DLL (or a test
// program) starts, in engine/hooks.cpp; no other call points up a floor.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "kestr44i.h"

struct ScriptBuffer;

// What a run of script lines came to (RunScript and the nested runs).
enum RunOutcome : int {
    RUN_RETURNED = -1,  // a Return ended it
    RUN_STOPPED = 0,    // an error, a cancel or a terminating code stopped it
    RUN_ENDED = 1,      // it reached the end of its text
};

struct Upcalls {
    // The built-in dispatcher (lib/dispatch.h, DispatchFunction).
    bool (*dispatch_function)(EngineState* st, const char* token_text, bool no_conversion, uint16_t id,
                              Value* result, Value* args, int count);
    // Whether a built-in only reads its text arguments (lib/builtins.h).
    bool (*reads_texts_only)(uint16_t id);
    // The run loop (engine/run_loop.h, RunScript).
    RunOutcome (*run_script)(EngineState* st, Value* result, const ScriptBuffer& buffer,
                             uint32_t* line_start, uint32_t* position);
    // Reads, prepares and runs a script file in a nested run loop (Call).
    RunOutcome (*run_script_file)(EngineState* st, Value* result, const char* path);
    // The error driver's report (lang/error_driver.h, ReportError).
    int (*report_error)(EngineState* st, HWND owner, int headline, int error, int severity);
    // The entry that hosts and extenders call for services (ext/services.h).
    DLLServicesFn services;
};
extern Upcalls g_upcalls;
