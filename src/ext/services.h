// DLLServices: the multiplexed request entry that hosts and extenders call.
#pragma once

#include <stdint.h>
#include "base/stdcall_export.h"

// `engine` is the state block's handle or its address (the first word of
// the context block); the request is taken from the low 16 bits. See
// KestrService in engine/kestr44i.h for the requests hosts use.
KESTR_STDCALL_API intptr_t __stdcall DLLServices(void* engine, uint32_t request, uintptr_t a2,
                                                 uintptr_t a3, int32_t a4, uintptr_t a5);
