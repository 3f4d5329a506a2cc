// %name% substitution of a line before it is tokenised, and the run-time
// rewrite of a remaining #include line into a Call.
#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/variables.h"

namespace {

inline bool is_lead_byte(const EngineState* st, uint8_t c) {
    return (c & 0x80) && IsDBCSLeadByteEx(st->code_page, c);
}

inline bool is_name_char(uint8_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (c == '_' || c == '@') return true;
    return (c & 0x80) && IsCharAlphaNumericA(static_cast<CHAR>(c));
}

// Names that give a control character when no variable of that name has a value.
struct Fallback {
    const char* name;
    size_t length;
    const char* text;
};
constexpr Fallback kFallbacks[] = {
    {"@crlf", 5, "\r\n"},
    {"@tab", 4, "\t"},
    {"@cr", 3, "\r"},
    {"@lf", 3, "\n"},
};

// Writes the value of %name% at work + out; returns the new output length.
// The buffer may be filled up to its last byte: the caller tells a result
// over 2048 characters by the length alone.
size_t insert_value(EngineState* st, const char* name, size_t length, char* work, size_t out) {
    if (GetVariableText(st, name, work + out, LINE_BUFFER_BYTES - out)) return out + strlen(work + out);
    for (const Fallback& f : kFallbacks) {
        if (f.length == length && _strnicmp(name, f.name, length) == 0) {
            memcpy(work + out, f.text, strlen(f.text));
            return out + strlen(f.text);
        }
    }
    return out;
}

// Reads the name after a "%" at p; sets *end after it. 0 on 3047.
bool read_name(EngineState* st, const uint8_t* p, const uint8_t** end, size_t* length) {
    size_t n = 0;
    for (;;) {
        size_t width = is_lead_byte(st, p[n]) && p[n + 1] ? 2 : is_name_char(p[n]) ? 1 : 0;
        if (width == 0) break;
        if (n + width > VARIABLE_NAME_MAX) return raise(st, Err::VariableNameTooLong);
        n += width;
    }
    *end = p + n;
    *length = n;
    return true;
}

// The substitution pass proper.
SubstituteOutcome substitute_percent(EngineState* st, char* line) {
    char work[LINE_BUFFER_BYTES];
    size_t out = 0;
    bool changed = false;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(line);
    while (*p) {
        if (*p != '%') {
            work[out++] = static_cast<char>(*p);
            if (is_lead_byte(st, *p) && p[1]) work[out++] = static_cast<char>(*++p);
            ++p;
        } else if (p[1] == '%') {
            work[out++] = '%';
            p += 2;
            changed = true;
        } else {
            const uint8_t* end = p;
            size_t length = 0;
            if (!read_name(st, p + 1, &end, &length)) return SUBSTITUTE_FAILED;
            if (*end != '%') {
                raise(st, Err::SubstitutionUnterminated);
                return SUBSTITUTE_FAILED;
            }
            char name[VARIABLE_NAME_BYTES];
            memcpy(name, p + 1, length);
            name[length] = '\0';
            out = insert_value(st, name, length, work, out);
            p = end + 1;
            changed = true;
        }
        // Every step writes at most two bytes or fills the rest of the buffer,
        // so checking after each one keeps the writes inside it.
        if (out > LINE_MAX_CHARS) {
            raise(st, Err::SubstitutionTooLong);
            return SUBSTITUTE_FAILED;
        }
    }
    if (!changed) return SUBSTITUTE_UNCHANGED;
    work[out] = '\0';
    memcpy(line, work, out + 1);
    return SUBSTITUTE_CHANGED;
}

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_quote(char c) { return c == '"' || c == '\'' || c == '`'; }

bool is_absolute_path(const char* name, size_t length) {
    return (length >= 3 && name[1] == ':' && name[2] == '\\') || (name[0] == '\\' && name[1] == '\\');
}

// A relative name that exists beside the running script is used with that
// directory; anything else is passed on as written.
void resolve_include_name(const EngineState* st, const char* name, size_t length, char* path) {
    memcpy(path, name, length);
    path[length] = '\0';
    if (is_absolute_path(name, length)) return;
    const char* slash = strrchr(st->script_path, '\\');
    if (!slash) return;
    size_t dir = static_cast<size_t>(slash - st->script_path) + 1;
    char candidate[2 * MAX_PATH];
    memcpy(candidate, st->script_path, dir);
    memcpy(candidate + dir, name, length);
    candidate[dir + length] = '\0';
    if (GetFileAttributesA(candidate) != INVALID_FILE_ATTRIBUTES) memcpy(path, candidate, dir + length + 1);
}

void rewrite_runtime_include(const EngineState* st, char* line) {
    size_t length = strlen(line);
    if (length < 10 || _strnicmp(line, "#include", 8) != 0 || !is_blank(line[8])) return;
    const char* name = line + 9;
    while (is_blank(*name)) ++name;
    const char* end = line + length;
    while (end > name && is_blank(end[-1])) --end;
    if (end - name >= 2 && is_quote(*name) && end[-1] == *name) {
        ++name;
        --end;
    }
    size_t name_length = static_cast<size_t>(end - name);
    if (name_length > MAX_PATH) name_length = MAX_PATH;
    char path[2 * MAX_PATH];
    resolve_include_name(st, name, name_length, path);
    snprintf(line, LINE_BUFFER_BYTES, "Call(\"%s\",``)", path);
}

}  // namespace

// The line is a 2050-byte line buffer; on error it is left as it was.
SubstituteOutcome SubstituteLine(EngineState* st, char* line) {
    SubstituteOutcome result = SUBSTITUTE_UNCHANGED;
    if (strchr(line, '%')) {
        result = substitute_percent(st, line);
        if (result == SUBSTITUTE_FAILED) return SUBSTITUTE_FAILED;
    }
    if (line[0] == '#' && (st->include_flags & INCLUDE_AT_RUN_TIME)) rewrite_runtime_include(st, line);
    return result;
}
