// Lines of standard input for StdIn and StdInEof.
#pragma once

#include <string>

// The next line without its line end (LF or CR LF); false at the end of
// input, with `line` empty.
bool read_input_line(std::string* line);
// True when no further line can be read (reads ahead to find out).
bool input_at_end();
