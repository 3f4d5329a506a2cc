// Locating a buffer position: the file it came from, its line number there
// (from the origin markers) and its text, for error reports and the trace.
#include "base/script_buffer.h"

#include <string.h>

namespace {

constexpr uint8_t MARKER_TAG = 0x0B;

struct Scan {
    const uint8_t* text;
    uint32_t length;
    uint32_t base;
    uint8_t at(uint32_t position) const {
        return position < length ? unscramble_byte(text[position], position + base) : 0;
    }
    bool marker_at(uint32_t p) const { return at(p) == ';' && at(p + 1) == MARKER_TAG; }
    uint32_t line_end(uint32_t p) const {
        while (p < length && at(p) != '\n') ++p;
        return p;
    }
};

// Reads the marker at p: its line number, and its file name into file.
// Returns the position after the marker line.
uint32_t read_marker(const Scan& s, uint32_t p, int32_t* line, char* file) {
    int32_t number = 0;
    for (uint32_t i = 4; i < 8; ++i) number = number << 6 | (s.at(p + i) & 63);
    *line = number;
    uint32_t end = s.line_end(p + 8);
    size_t n = 0;
    for (uint32_t q = p + 8; q < end && n < MAX_PATH - 1; ++q) file[n++] = static_cast<char>(s.at(q));
    file[n] = 0;
    return end + 1;
}

bool has_marker_from(const Scan& s, uint32_t p) {
    while (p < s.length) {
        if (s.marker_at(p)) return true;
        p = s.line_end(p) + 1;
    }
    return false;
}

void copy_line_text(const Scan& s, uint32_t p, char* text, size_t size) {
    size_t n = 0;
    for (uint32_t end = s.line_end(p); p < end && n + 1 < size; ++p) text[n++] = static_cast<char>(s.at(p));
    text[n] = 0;
}

bool function_defined(const EngineState* st, uint16_t function) {
    return function < UDF_SLOTS && st->udf_table[function] != nullptr;
}

}  // namespace

int32_t LocateLine(EngineState* st, const ScriptBuffer& buffer, uint32_t position, uint16_t function,
                   LineLocation* out) {
    lstrcpynA(out->file, st->script_path, sizeof out->file);
    out->text[0] = 0;
    out->line = 0;
    out->line_in_function = 0;
    out->marker_level = -1;
    const uint8_t* text = static_cast<const uint8_t*>(GlobalLock(buffer.handle));
    if (!text) return 0;
    const Scan s{text, buffer.length, buffer.base};
    int32_t line = 1;
    int32_t markers = 0;
    int32_t first_marker_line = 0;
    uint32_t p = 0;
    while (p < position && p < s.length) {
        if (s.marker_at(p)) {
            p = read_marker(s, p, &line, out->file);
            if (markers++ == 0) first_marker_line = line;
            continue;
        }
        uint32_t end = s.line_end(p);
        if (end >= position) break;
        p = end + 1;
        ++line;
    }
    // The level counts the markers passed; 0 means the buffer has markers
    // but none before this line, so its number is only approximate.
    out->marker_level = markers > 0 || has_marker_from(s, p) ? markers : -1;
    if (position < s.length) {
        out->line = line;
        copy_line_text(s, position, out->text, sizeof out->text);
        // The first marker of a body carries the number of the line after
        // #DefineFunction, so the body's first line is line 1 of the function.
        if (first_marker_line > 0 && function != NO_FUNCTION && function_defined(st, function))
            out->line_in_function = line - first_marker_line + 1;
    }
    GlobalUnlock(buffer.handle);
    return out->line;
}
