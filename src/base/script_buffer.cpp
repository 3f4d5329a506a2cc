// The line reader over scrambled script buffers, the scrambling itself, and
// the in-place text steps of loading: UTF-16 conversion and line ends.
#include "base/script_buffer.h"

#include <string.h>
#include "base/errors.h"
#include "base/upcalls.h"

namespace {

constexpr uint8_t CTRL_Z = 26;

inline bool is_blank(uint8_t c) { return c == ' ' || c == '\t'; }
inline bool ends_line(uint8_t c) { return c == '\n' || c == CTRL_Z || c == 0; }

// The reader of one locked buffer. Positions at or past the length read as
// the terminator, so no loop can run off the block.
struct PlainReader {
    const uint8_t* text;
    uint32_t length;
    uint32_t base;
    inline uint8_t at(uint32_t position) const {
        return position < length ? unscramble_byte(text[position], position + base) : 0;
    }
};

// Stores at most limit characters of the line at p; returns the position
// after the line. A longer line is cut and its rest consumed unread.
uint32_t copy_line(EngineState* st, const PlainReader& r, uint32_t p, char* line, size_t limit) {
    size_t n = 0;
    uint8_t c = r.at(p);
    for (;;) {
        if (ends_line(c)) {
            if (c) ++p;  // the line feed or Ctrl-Z is consumed, the terminator is not
            break;
        }
        if (n == limit) {
            // The blank that a CR LF left does not count against the limit.
            if (c == ' ' && r.at(p + 1) == '\n') {
                p += 2;
                break;
            }
            while (!ends_line(c)) c = r.at(++p);
            if (c) ++p;
            st->pending_line_error = static_cast<uint16_t>(Err::LineTooLong);
            break;
        }
        line[n++] = static_cast<char>(c);
        c = r.at(++p);
    }
    line[n] = 0;
    return p;
}

}  // namespace

int ReadLine(EngineState* st, char* line, size_t capacity, const ScriptBuffer& buffer,
             uint32_t* line_start, uint32_t* position, const uint8_t* held) {
    st->pending_line_error = 0;
    line[0] = 0;
    const uint8_t* text = held ? held : static_cast<const uint8_t*>(GlobalLock(buffer.handle));
    if (!text) {
        g_upcalls.report_error(st, st->owner_window, static_cast<int>(Err::ExecutionErrorHeadline),
                    static_cast<int>(Err::ScriptFileLockFailed), SEVERITY_SEVERE);
        raise(st, TERMINATE_QUIET);
        return 0;
    }
    const PlainReader r{text, buffer.length, buffer.base};
    uint32_t p = *position;
    int found = p < r.length;
    if (found && r.at(p) == 0) {
        // A zero inside the text is an empty line; stepping over it keeps a
        // reader that loops on ReadLine moving.
        *line_start = p++;
    } else if (found) {
        while (is_blank(r.at(p))) ++p;
        *line_start = p;
        found = p < r.length;
        if (found) p = copy_line(st, r, p, line, capacity >= 2 ? capacity - 2 : 0);
    }
    if (!held) GlobalUnlock(buffer.handle);
    *position = p;
    return found;
}

void park_script(EngineState* st, HGLOBAL handle) {
    if (handle == st->parked_script) return;
    unpark_script(st);
    const auto* text = static_cast<const uint8_t*>(GlobalLock(handle));
    if (!text) return;
    st->parked_script = handle;
    st->parked_text = text;
}

void unpark_script(EngineState* st) {
    if (!st->parked_script) return;
    GlobalUnlock(st->parked_script);
    st->parked_script = nullptr;
    st->parked_text = nullptr;
}

void write_script_bytes(EngineState*, const ScriptBuffer& buffer, uint32_t position, const uint8_t* bytes,
                        size_t count) {
    // The terminator may be written too: a copied function body gets its
    // scrambled zero this way.
    if (position > buffer.length) return;
    if (count > buffer.length + 1 - position) count = buffer.length + 1 - position;
    uint8_t* text = static_cast<uint8_t*>(GlobalLock(buffer.handle));
    if (!text) return;
    for (size_t i = 0; i < count; ++i) {
        uint32_t at = position + static_cast<uint32_t>(i);
        text[at] = scramble_byte(bytes[i], at + buffer.base);
    }
    GlobalUnlock(buffer.handle);
}

void ScrambleScript(EngineState*, uint8_t* text, uint32_t length) {
    for (uint32_t i = 0; i <= length; ++i) text[i] = scramble_byte(text[i], i);
}

uint32_t ConvertUnicodeScript(EngineState* st, uint8_t* text, uint32_t capacity) {
    if (capacity < 2) return 0;
    bool big_endian = text[0] == 0xFE && text[1] == 0xFF;
    uint32_t first = starts_with_utf16_mark(text, capacity) ? 2 : 0;
    uint32_t units = 0;
    while (first + 2 * units + 1 < capacity && (text[first + 2 * units] | text[first + 2 * units + 1]))
        ++units;
    if (units == 0) return 0;
    // The ANSI text is written over its own source, so the UTF-16 text moves
    // to a work block first.
    HGLOBAL work = GlobalAlloc(GMEM_FIXED, units * sizeof(WCHAR));
    if (!work) return 0;
    WCHAR* wide = static_cast<WCHAR*>(static_cast<void*>(work));
    const uint8_t* src = text + first;
    for (uint32_t i = 0; i < units; ++i, src += 2)
        wide[i] = big_endian ? static_cast<WCHAR>(src[0] << 8 | src[1]) : static_cast<WCHAR>(src[1] << 8 | src[0]);
    int needed = WideCharToMultiByte(st->code_page, 0, wide, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    uint32_t length = 0;
    if (needed > 0 && static_cast<uint32_t>(needed) < capacity) {
        length = static_cast<uint32_t>(WideCharToMultiByte(st->code_page, 0, wide, static_cast<int>(units),
                                                           reinterpret_cast<char*>(text), needed, nullptr, nullptr));
        text[length] = 0;
    }
    GlobalFree(work);
    return length;
}

void NormaliseLineEnds(char* text) {
    // One pass does both steps: a CR before a LF becomes a blank, any other a LF.
    for (char* p = text; (p = strchr(p, '\r')) != nullptr; ++p) *p = p[1] == '\n' ? ' ' : '\n';
}
