// Lines to standard output and standard error, in the engine's code page or
// converted to UTF-8.
#pragma once

#include <windows.h>

// With UTF-8 on, texts (in the engine's ANSI code page) are converted to
// UTF-8 and a console is switched to the UTF-8 code page.
void set_output_utf8(bool on);
bool output_is_utf8();

// Writes `text` and a line end; false when the stream is gone.
bool write_line(HANDLE stream, const char* text);
