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
