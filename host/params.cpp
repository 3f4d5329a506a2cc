// Quoting of script parameters for the engine's parameter-line splitter,
// which separates items at blanks and tabs and reads ", ' and ` as quotes.
#include "params.h"

#include <string.h>

namespace {

bool needs_quotes(const char* value) { return !*value || strpbrk(value, " \t\"'`") != nullptr; }

// Inside double quotes only a double quote is special: doubled, it stands
// for itself; single and back quotes are plain characters there.
void append_quoted(std::string* line, const char* value) {
    line->push_back('"');
    for (const char* p = value; *p; ++p) {
        if (*p == '"') line->push_back('"');
        line->push_back(*p);
    }
    line->push_back('"');
}

}  // namespace

std::string parameter_line(int count, const char* const* values) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        if (i > 0) line.push_back(' ');
        if (needs_quotes(values[i])) append_quoted(&line, values[i]);
        else line += values[i];
    }
    return line;
}
