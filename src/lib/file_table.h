// The table of files opened by FileOpen: slot lookup by handle, and the
// release of every slot at the end of a run and at shutdown.
#pragma once

#include <stdint.h>
#include "base/engine_state.h"

// Bits of FileEntry::mode.
constexpr uint32_t FILE_MODE_READ = 0x1;
constexpr uint32_t FILE_MODE_AT_END = 0x2;     // the end of the file was reached
constexpr uint32_t FILE_MODE_WRITE = 0x4;
constexpr uint32_t FILE_MODE_EOF_GIVEN = 0x8;  // "*EOF*" was returned
constexpr uint32_t FILE_MODE_WRITTEN = 0x10;   // something was written

// The script's number for a handle, and back.
inline int32_t file_handle_number(HANDLE handle) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(handle));
}

// The slot whose handle is `number`; null when none is.
FileEntry* find_file_slot(EngineState* st, int32_t number);
// The first free slot; null when all are taken.
FileEntry* free_file_slot(EngineState* st);
// Closes the slot's file, frees its buffer and clears it.
void close_file_slot(FileEntry* slot);
// Closes every open file.
void release_file_slots(EngineState* st);
