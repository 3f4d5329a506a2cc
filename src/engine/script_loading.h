// Script loading: reading a script file, splicing its #include files and
// running it in a nested run loop (Call).
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/error_numbers.h"
#include "base/exports.h"
#include "base/script_buffer.h"
#include "base/upcalls.h"

// PrepareScript's failures; a prepared text's length is above them all.
enum PrepareFailure : int32_t {
    PREPARE_FILE_FAILED = 0,  // an include file; its name is in error_name
    PREPARE_NO_MEMORY = -1,
    PREPARE_TOO_DEEP = -2,    // includes nested too deeply
};
// Returns the new length or a PrepareFailure (error_name holds MAX_PATH
// bytes); may reallocate *text, which must not be locked by the caller.
int32_t PrepareScript(EngineState* st, HGLOBAL* text, const char* file_name, const char* directory,
                      char* error_name, int level);
// The error number of a PrepareScript failure: 216 (memory), 218 (nesting)
// or 217 (an include file).
Err include_failure_error(int32_t outcome);
// Reports a PrepareScript failure, with the include file's name for 217,
// under the headline 111.
void report_include_failure(EngineState* st, HWND owner, int32_t outcome, const char* file);

// Shared by the loaders. Reads an open file whole into a new zero-filled
// block of its size + 2 (room for a UTF-16 terminator).
enum class FileReadResult { ok, no_memory, no_lock, short_read };
FileReadResult read_script_file(HANDLE file, HGLOBAL* block, uint32_t* size);

// Reads, prepares and runs a script file in a nested run loop (Call).
// Returns the run loop's result.
RunOutcome LoadScriptFile(EngineState* st, Value* result, const char* path);

KESTR_API int UncompressBuffer(uint8_t* buffer, uint32_t compressed_length, uint32_t capacity);
