// Message lookup: the numbered texts of the string table, overridable by a
// language file.
#pragma once

#include <windows.h>
#include "base/exports.h"

struct EngineState;

// Loads message `number` into buffer; "~" becomes a line feed and "|" a tab.
// Number 0 re-reads the language setting. Returns the text's length.
KESTR_API int LoadMyString(EngineState* st, HMODULE module, int number, char* buffer, int size);
KESTR_API int LoadMyStringW(EngineState* st, HMODULE module, int number, wchar_t* buffer, int size);

// Shorthand for the engine's own module.
int message_text(EngineState* st, int number, char* buffer, int size);
