// The parameter line that gives a script its parameters back unchanged.
#pragma once

#include <string>

// Joins values into a line that the engine's splitter turns into param1..
// with exactly these texts: a value that is empty or holds a blank, a tab or
// a quote character is put in double quotes, its double quotes doubled.
std::string parameter_line(int count, const char* const* values);
