// The host's view of the engine DLL: entry signatures, request codes and the
// sizes of the blocks a host allocates and hands over.
#pragma once

#include <windows.h>
#include <stdint.h>

// Requests of DoDaDllInit.
enum KestrRequest : int16_t {
    KESTR_REQ_HANDSHAKE = 0,   // arg3: interface version word
    KESTR_REQ_INITIALISE = 1,  // arg5: host module, arg6: product name
    KESTR_REQ_VARIABLES = 2,   // arg3: variable-table handle, arg5: capacity
    KESTR_REQ_HEAP = 3,        // arg3: heap region address, arg5: committed size
    KESTR_REQ_SHUTDOWN = 99,
};

// Bits 8-15 of the handshake word must carry this interface version.
constexpr uint32_t KESTR_INTERFACE_WORD = 0x1300;
constexpr uint32_t KESTR_HANDSHAKE_OK = 0xF1F0;
constexpr uint32_t KESTR_INITIALISED = 76;

// A host allocates the state block zero-filled with at least this many bytes.
constexpr size_t KESTR_STATE_BLOCK_BYTES = 256 * 1024;
// Bytes of one variable slot; the variable table holds capacity slots.
constexpr size_t KESTR_VARIABLE_SLOT_BYTES = sizeof(void*) == 8 ? 88 : 76;

typedef intptr_t(__cdecl* DoDaDllInitFn)(HWND hostWindow, HGLOBAL stateHandle, uintptr_t arg3,
                                         int16_t request, uintptr_t arg5, uintptr_t arg6,
                                         uintptr_t arg7);
typedef int(__cdecl* ProcessDaBatBufferFn)(HWND hostWindow, HGLOBAL stateHandle, HGLOBAL script,
                                           void* hostHandler, const void* hostKeywordTable);
typedef int(__cdecl* LoadMyStringFn)(void* state, HMODULE module, int number, char* buffer,
                                     int size);

// Hooks: the host handler is called with these negative function numbers
// and five records, a text (type 2) and four integers (type 1, each word
// also whole in the text field). KESTR_HOOK_STATEMENT's text is "1" (idle),
// "2" (before a statement of the main script) or "3" (before a statement of
// a user-defined function); the hook flags in the state block select them.
enum KestrHook : int32_t {
    KESTR_HOOK_STATEMENT = -1,  // text; buffer handle, line position, scope word, skip state
    KESTR_HOOK_CALL = -4,       // path; Call depth, 1 (or -1 after a failure)
    KESTR_HOOK_SCRIPT = -5,     // path; 1 (or -1 after a failure)
};
// A hook's integer answer: the host changed the current directory, which
// the engine then restores.
constexpr int32_t KESTR_HOOK_DIRECTORY_CHANGED = 1;

// Result codes a host or extender function hands to the result callback
// (and returns): 0 or more is success; these stop or report.
enum KestrResultCode : int32_t {
    KESTR_RESULT_MINOR_ERROR = -1,
    KESTR_RESULT_MODERATE_ERROR = -2,
    KESTR_RESULT_SEVERE_ERROR = -3,
    KESTR_RESULT_NO_MEMORY = -4,
    KESTR_RESULT_CANCEL = -5,
    KESTR_RESULT_STOP = -6,
    KESTR_RESULT_ARRAY_ERROR = -7,
};

// Requests of DLLServices(engine, request, a2, a3, a4, a5) that hosts use.
// The engine argument is the state block's handle (or its address).
enum KestrService : uint32_t {
    KESTR_SVC_HOST_VERSION = 2,     // a2: the host's version text for error reports
    KESTR_SVC_SCRIPT_PATH = 3,      // a2: path of the script about to run ("" keeps none)
    KESTR_SVC_INCLUDE_FLAGS = 4,    // a4: new flags, or -1 to read; result: the previous flags
    KESTR_SVC_CANCEL = 5,           // ask the running script to stop as Ctrl+Break does;
                                    // callable from any thread; 0 when cancelling is disabled
    KESTR_SVC_RUN_REPORT = 6,       // a2: KestrRunReport*; result 1, 0 when a2 is too small
    KESTR_SVC_PARAMETERS = 11,      // a2: ANSI parameter line, or a2 = 0 and a3 a wide one
    KESTR_SVC_SET_ERROR = 13,       // a4: the error number in force after the request
    KESTR_SVC_SILENT = 23,          // a4: 0 off, 1 on, other values read; a2: log file or null
    KESTR_SVC_SILENT_MESSAGE = 25,  // a2, a3: buffers of a4 bytes for the last silent box
    KESTR_SVC_TRACE = 26,           // a2: trace file (appended to), a4: 1 every statement,
                                    // 2 errors only, 0 off; result 1, 0 without a file
    KESTR_SVC_HEAP_ADDRESS = 41,    // a5: heap offset; result: its address
    KESTR_SVC_HEAP_COPY = 42,       // a2: text; result: heap offset of a copy, 0 out of memory
    KESTR_SVC_ERROR_INFO = 47,      // a2: text appended to the additional error information
    KESTR_SVC_HOST_WINDOW = 48,
};
constexpr uint32_t KESTR_SVC_LAST = 53;  // higher requests answer 0

// How the last run ended and the error that stopped it (request 6).
struct KestrRunReport {
    uint32_t size;        // set by the host: sizeof(KestrRunReport)
    int32_t run_error;    // error number the run ended with: 0 at the end of the text,
                          // 9000 after Exit, 9999 after a cancel ...
    int32_t run_result;   // the run loop's result: 1 end of text, -1 Return, 0 stopped
    int32_t error;        // number of the last reported error (the real number behind an
                          // indirect code); 0 when none was reported
    int32_t line;         // its line in `file`, 0 when unknown
    char file[MAX_PATH];  // the file that holds the line (an included file's own name)
    char message[2050];   // the error's message text
};

// Integer results; requests that answer an address or a handle need the
// full width on Win64.
typedef intptr_t(__stdcall* DLLServicesFn)(void* engine, uint32_t request, uintptr_t a2,
                                           uintptr_t a3, int32_t a4, uintptr_t a5);
