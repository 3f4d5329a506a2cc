// Reading a script file into the global memory block the engine runs.
#pragma once

#include <windows.h>
#include <stddef.h>

// The whole file followed by two zero bytes (the terminator of 8-bit or of
// UTF-16 text), in a movable block the engine rewrites in place. Null on
// failure, with the reason in `why`.
HGLOBAL read_script_file(const char* path, char* why, size_t why_size);
