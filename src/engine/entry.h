// The engine's two host entries.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/exports.h"

KESTR_API intptr_t DoDaDllInit(HWND hostWindow, HGLOBAL stateHandle, uintptr_t arg3, int16_t request,
                               uintptr_t arg5, uintptr_t arg6, uintptr_t arg7);
KESTR_API int ProcessDaBatBuffer(HWND hostWindow, HGLOBAL stateHandle, HGLOBAL script,
                                 void* hostHandler, const void* hostKeywordTable);
