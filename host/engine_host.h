// Loading the engine DLL and driving its start-up and shutdown requests.
#pragma once

#include <windows.h>
#include "kestr44i.h"

struct EngineHost {
    HMODULE dll = nullptr;
    DoDaDllInitFn init = nullptr;
    ProcessDaBatBufferFn run = nullptr;
    DLLServicesFn services = nullptr;
    HGLOBAL state = nullptr;
    HGLOBAL variables = nullptr;
    void* heap = nullptr;
    bool started = false;
};

// Loads KESTR44I.DLL from the directory of this program. On failure writes
// the reason to `why`.
bool load_engine(EngineHost* host, char* why, size_t why_size);
// The engine's version text (its string 99).
bool engine_version(const EngineHost* host, char* buffer, int size);
// Requests 0, 1, 2 and 3 in order; on failure names the request in `why`.
bool start_engine(EngineHost* host, const char* product, char* why, size_t why_size);
// Request 99 and the release of the host's blocks.
void stop_engine(EngineHost* host);

// A DLLServices request; 0 when the engine has no such entry.
intptr_t engine_service(const EngineHost* host, uint32_t request, uintptr_t a2 = 0, uintptr_t a3 = 0,
                        int32_t a4 = 0, uintptr_t a5 = 0);
// Runs the script text in `script` (which the engine rewrites and the host
// frees afterwards) with the host's function table and handler. False when
// the engine could not run it at all.
bool run_engine_script(const EngineHost* host, HGLOBAL script, void* handler, const void* functions);
// How the last run ended; the report is zeroed when the engine cannot say.
void last_run_report(const EngineHost* host, KestrRunReport* report);
