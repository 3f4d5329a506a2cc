// Script loading: reading a script file, splicing its #include files and
// running it in a nested run loop (Call).
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/exports.h"
#include "base/script_buffer.h"
#include "base/upcalls.h"

// Returns the new length, 0 (a file; its name in error_name, which holds
// MAX_PATH bytes), -1 (memory) or -2 (nesting); may reallocate *text, which
// must not be locked by the caller.
int32_t PrepareScript(EngineState* st, HGLOBAL* text, const char* file_name, const char* directory,
                      char* error_name, int level);
// Reports a PrepareScript failure: 216 (memory, -1), 218 (nesting, -2) or
// 217 with the include file's name (0), under the headline 111.
void report_include_failure(EngineState* st, HWND owner, int32_t outcome, const char* file);

// Shared by the loaders. Reads an open file whole into a new zero-filled
// block of its size + 2 (room for a UTF-16 terminator).
enum class FileReadResult { ok, no_memory, no_lock, short_read };
FileReadResult read_script_file(HANDLE file, HGLOBAL* block, uint32_t* size);

// Reads, prepares and runs a script file in a nested run loop (Call).
// Returns the run loop's result.
RunOutcome LoadScriptFile(EngineState* st, Value* result, const char* path);

KESTR_API int UncompressBuffer(uint8_t* buffer, uint32_t compressed_length, uint32_t capacity);
