// The host side of the engine's start-up contract: the blocks it owns and
// the order of the initialisation requests.
#include "engine_host.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr uint16_t kVariableCapacity = 32000;
// The heap region is reserved large and committed by the engine as it grows.
constexpr SIZE_T kHeapReserve = 256u * 1024 * 1024;
constexpr SIZE_T kHeapInitial = 256u * 1024;

bool program_directory(char* buffer, size_t size) {
    DWORD n = GetModuleFileNameA(nullptr, buffer, (DWORD)size);
    if (n == 0 || n >= size) return false;
    char* slash = strrchr(buffer, '\\');
    if (slash) slash[1] = '\0';
    return true;
}

template <typename Fn>
Fn entry(HMODULE dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

bool request(EngineHost* host, int16_t code, uintptr_t arg3, uintptr_t arg5, uintptr_t arg6,
             intptr_t expected, char* why, size_t why_size) {
    intptr_t result = host->init(nullptr, host->state, arg3, code, arg5, arg6, 0);
    if (result == expected) return true;
    snprintf(why, why_size, "engine request %d failed (result %ld)", code, (long)result);
    return false;
}

}  // namespace

bool load_engine(EngineHost* host, char* why, size_t why_size) {
    char path[MAX_PATH + 16];
    if (!program_directory(path, MAX_PATH)) {
        snprintf(why, why_size, "cannot find the program's directory");
        return false;
    }
    strcat(path, "KESTR44I.DLL");
    host->dll = LoadLibraryA(path);
    if (!host->dll) {
        snprintf(why, why_size, "cannot load %s (error %lu)", path, GetLastError());
        return false;
    }
    host->init = entry<DoDaDllInitFn>(host->dll, "DoDaDllInit");
    host->run = entry<ProcessDaBatBufferFn>(host->dll, "ProcessDaBatBuffer");
    host->services = entry<DLLServicesFn>(host->dll, "DLLServices");
    if (!host->init) {
        snprintf(why, why_size, "%s has no DoDaDllInit entry", path);
        return false;
    }
    return true;
}

bool engine_version(const EngineHost* host, char* buffer, int size) {
    return host->dll && LoadStringA(host->dll, 99, buffer, size) > 0;
}

bool start_engine(EngineHost* host, const char* product, char* why, size_t why_size) {
    host->state = GlobalAlloc(GHND, KESTR_STATE_BLOCK_BYTES);
    host->variables = GlobalAlloc(GHND, kVariableCapacity * KESTR_VARIABLE_SLOT_BYTES);
    host->heap = VirtualAlloc(nullptr, kHeapReserve, MEM_RESERVE, PAGE_READWRITE);
    if (!host->state || !host->variables || !host->heap ||
        !VirtualAlloc(host->heap, kHeapInitial, MEM_COMMIT, PAGE_READWRITE)) {
        snprintf(why, why_size, "cannot allocate the engine's memory");
        return false;
    }
    host->started = true;
    return request(host, KESTR_REQ_HANDSHAKE, KESTR_INTERFACE_WORD, 0, 0, KESTR_HANDSHAKE_OK, why,
                   why_size) &&
           request(host, KESTR_REQ_INITIALISE, 0, (uintptr_t)GetModuleHandleA(nullptr),
                   (uintptr_t)product, KESTR_INITIALISED, why, why_size) &&
           request(host, KESTR_REQ_VARIABLES, (uintptr_t)host->variables, kVariableCapacity, 0, 1,
                   why, why_size) &&
           request(host, KESTR_REQ_HEAP, (uintptr_t)host->heap, kHeapInitial, 0, 1, why, why_size);
}

void stop_engine(EngineHost* host) {
    if (host->started) host->init(nullptr, host->state, 0, KESTR_REQ_SHUTDOWN, 0, 0, 0);
    host->started = false;
    if (host->heap) VirtualFree(host->heap, 0, MEM_RELEASE);
    if (host->variables) GlobalFree(host->variables);
    if (host->state) GlobalFree(host->state);
    host->heap = nullptr;
    host->variables = host->state = nullptr;
}

intptr_t engine_service(const EngineHost* host, uint32_t request, uintptr_t a2, uintptr_t a3, int32_t a4,
                        uintptr_t a5) {
    return host->services ? host->services(host->state, request, a2, a3, a4, a5) : 0;
}

bool run_engine_script(const EngineHost* host, HGLOBAL script, void* handler, const void* functions) {
    return host->run && host->run(nullptr, host->state, script, handler, functions) != 0;
}

void last_run_report(const EngineHost* host, KestrRunReport* report) {
    memset(report, 0, sizeof *report);
    report->size = sizeof *report;
    if (!engine_service(host, KESTR_SVC_RUN_REPORT, reinterpret_cast<uintptr_t>(report))) {
        memset(report, 0, sizeof *report);
        report->size = sizeof *report;
    }
}
