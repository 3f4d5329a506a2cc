// Comma-separated-values lines: the field splitter and the quoting test.
// Records never span lines, so a line is always parsed on its own.
#include "lib/csv_line.h"

#include <windows.h>
#include "base/engine_state.h"

namespace {

struct Blanks {
    bool tab;  // the tab is a blank unless it is the delimiter
    bool is(char c) const { return c == ' ' || (tab && c == '\t'); }
};

// Length of the character at p: a double-byte pair on a double-byte system
// counts as one, so that its trail byte is never taken for a delimiter.
inline size_t char_length(const char* p, const char* end) {
    return (g_os.dbcs && p + 1 < end && IsDBCSLeadByte(static_cast<BYTE>(*p))) ? 2 : 1;
}

const char* skip_blanks(const char* p, const char* end, Blanks blanks) {
    while (p < end && blanks.is(*p)) ++p;
    return p;
}

// "..." with "" for one quote, from the opening quote at p; the text is
// compacted to `out`. *next is just past the closing quote; false when the
// quote is never closed.
bool read_quoted(const char* p, const char* end, char* out, size_t* length, const char** next) {
    char* w = out;
    for (++p; p < end;) {
        if (*p == '"') {
            if (p + 1 < end && p[1] == '"') {
                *w++ = '"';
                p += 2;
                continue;
            }
            *length = static_cast<size_t>(w - out);
            *next = p + 1;
            return true;
        }
        for (size_t n = char_length(p, end); n > 0; --n) *w++ = *p++;
    }
    return false;
}

// An unquoted field up to the delimiter; a double quote in it is invalid.
bool read_plain(const char* p, const char* end, char delimiter, const char** stop) {
    while (p < end && *p != delimiter) {
        if (*p == '"') return false;
        p += char_length(p, end);
    }
    *stop = p;
    return true;
}

}  // namespace

bool is_csv_delimiter(const char* text) {
    const char c = text[0];
    return c != '\0' && text[1] == '\0' && c != ' ' && c != '"' && c != '\r' && c != '\n';
}

bool split_csv_line(char* line, size_t length, char delimiter, bool keep_blanks, CsvFieldSink sink, void* context,
                    uint32_t* fields) {
    *fields = 0;
    if (length == 0) return true;
    const Blanks blanks{delimiter != '\t'};
    const char* end = line + length;
    const char* p = line;
    for (;;) {
        const char* start = skip_blanks(p, end, blanks);
        const char* text;
        size_t text_length;
        if (start < end && *start == '"') {
            char* out = line + (start - line);
            if (!read_quoted(start, end, out, &text_length, &p)) return false;
            text = out;
            p = skip_blanks(p, end, blanks);
            if (p < end && *p != delimiter) return false;
        } else {
            const char* field = p;
            if (!read_plain(start, end, delimiter, &p)) return false;
            text = keep_blanks ? field : start;
            const char* text_end = p;
            if (!keep_blanks) {
                while (text_end > start && blanks.is(text_end[-1])) --text_end;
            }
            text_length = static_cast<size_t>(text_end - text);
        }
        ++*fields;
        if (sink && !sink(context, text, text_length)) return false;
        if (p == end) return true;
        ++p;  // the delimiter; one after the last field makes an empty field
    }
}

bool csv_field_needs_quotes(const char* text, size_t length, char delimiter) {
    if (length == 0) return false;
    const Blanks blanks{delimiter != '\t'};
    if (blanks.is(text[0]) || blanks.is(text[length - 1])) return true;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == delimiter || text[i] == '"') return true;
    }
    return false;
}
