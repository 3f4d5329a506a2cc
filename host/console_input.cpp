// A buffered reader over the standard input handle: a console hands over a
// line per read, a pipe or file any number of bytes.
#include "console_input.h"

#include <windows.h>

namespace {

constexpr DWORD kChunkBytes = 4096;

struct InputBuffer {
    std::string pending;  // bytes read but not yet handed out
    bool ended = false;
};
InputBuffer g_input;

// Reads one more chunk; false once the input has ended (a broken pipe or a
// console's end-of-file key count as its end too).
bool read_chunk() {
    if (g_input.ended) return false;
    char chunk[kChunkBytes];
    DWORD got = 0;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE || !ReadFile(in, chunk, sizeof chunk, &got, nullptr) ||
        got == 0) {
        g_input.ended = true;
        return false;
    }
    g_input.pending.append(chunk, got);
    return true;
}

}  // namespace

bool read_input_line(std::string* line) {
    line->clear();
    size_t end;
    while ((end = g_input.pending.find('\n')) == std::string::npos) {
        if (!read_chunk()) break;
    }
    if (end == std::string::npos) {
        // A last line without its line end still counts.
        if (g_input.pending.empty()) return false;
        line->swap(g_input.pending);
        return true;
    }
    line->assign(g_input.pending, 0, end);
    g_input.pending.erase(0, end + 1);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

bool input_at_end() { return g_input.pending.empty() && !read_chunk(); }
