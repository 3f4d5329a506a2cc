// Message boxes that respect silent mode: with no user interface the text is
// logged instead and the answer is Cancel.
#pragma once

#include <windows.h>

struct EngineState;

int MessageOrLog(EngineState* st, HWND owner, const char* text, const char* caption, UINT flags);
