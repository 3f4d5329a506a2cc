// Load-time #include expansion: splices included files into a script text and
// inserts the origin markers that keep each line's file name and number.
#include "base/error_numbers.h"
#include "engine/script_loading.h"
#include "lang/error_driver.h"

#include <string.h>

namespace {

constexpr int MAX_INCLUDE_LEVEL = 16;
constexpr size_t INCLUDE_NAME_CHARS = 260;
// ";", 0x0B, "A", "@", four line-number bytes and the closing line feed.
constexpr uint32_t MARKER_BYTES = 9;
constexpr char MARKER_TAG = 0x0B;

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_quote(char c) { return c == '"' || c == '\'' || c == '`'; }

const char* skip_blanks(const char* p, const char* end) {
    while (p < end && is_blank(*p)) ++p;
    return p;
}

// ASCII-only, so that the code page cannot change what counts as a directive.
bool starts_with_nocase(const char* p, const char* end, const char* lower_word) {
    for (; *lower_word; ++p, ++lower_word) {
        if (p == end) return false;
        char c = *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p + 32) : *p;
        if (c != *lower_word) return false;
    }
    return true;
}

enum class Directive { none, include, define };

Directive directive_of(const char* p, const char* end) {
    if (starts_with_nocase(p, end, "#include")) return Directive::include;
    if (starts_with_nocase(p, end, "#definefunction") || starts_with_nocase(p, end, "#definesubroutine"))
        return Directive::define;
    return Directive::none;
}

// A marker line from an earlier preparation is copied but not counted.
inline bool is_marker_line(const char* p, const char* end) { return end - p >= 2 && p[0] == ';' && p[1] == MARKER_TAG; }

bool already_prepared(const char* text) {
    if (text[0] == ' ') ++text;
    return text[0] == ';' && (text[1] == MARKER_TAG || (text[1] == 0x0C && text[2] == '@'));
}

// The expanded text under construction: a movable block that grows as files
// are spliced in.
struct TextBuilder {
    HGLOBAL handle = nullptr;
    char* data = nullptr;
    uint32_t length = 0;
    uint32_t capacity = 0;

    bool open(uint32_t size) {
        handle = GlobalAlloc(GMEM_MOVEABLE, size);
        data = handle ? static_cast<char*>(GlobalLock(handle)) : nullptr;
        capacity = data ? size : 0;
        return data != nullptr;
    }
    // Room for `more` bytes and a terminator.
    bool reserve(uint32_t more) {
        if (length + more < capacity) return true;
        uint32_t size = length + more + 1 + capacity / 2;
        GlobalUnlock(handle);
        HGLOBAL grown = GlobalReAlloc(handle, size, GMEM_MOVEABLE);
        if (grown) handle = grown;
        data = static_cast<char*>(GlobalLock(handle));
        if (!grown || !data) return false;
        capacity = size;
        return true;
    }
    bool put(const char* bytes, uint32_t count) {
        if (!reserve(count)) return false;
        memcpy(data + length, bytes, count);
        length += count;
        return true;
    }
    bool put_marker(uint32_t line_number, const char* name) {
        uint32_t name_length = static_cast<uint32_t>(strlen(name));
        if (!reserve(MARKER_BYTES + name_length)) return false;
        char* m = data + length;
        m[0] = ';';
        m[1] = MARKER_TAG;
        m[2] = 'A';
        m[3] = '@';
        for (int i = 0; i < 4; ++i) m[4 + i] = static_cast<char>(0x40 + ((line_number >> (18 - 6 * i)) & 63));
        memcpy(m + 8, name, name_length);
        m[8 + name_length] = '\n';
        length += MARKER_BYTES + name_length;
        return true;
    }
    void close() {
        if (!handle) return;
        if (data) GlobalUnlock(handle);
        GlobalFree(handle);
        handle = nullptr;
        data = nullptr;
    }
};

void set_error_name(char* error_name, const char* name, size_t length) {
    if (length > MAX_PATH - 1) length = MAX_PATH - 1;
    memcpy(error_name, name, length);
    error_name[length] = 0;
}

// The name after "#include": quoted with any of three quotes, or the rest of
// the line without the blank that a CR LF left. Returns false (the name in
// error_name) when a quote is not closed.
bool parse_include_name(const char* p, const char* end, char* name, char* error_name) {
    p = skip_blanks(p, end);
    const char* stop = end;
    if (p < end && is_quote(*p)) {
        char quote = *p++;
        stop = static_cast<const char*>(memchr(p, quote, static_cast<size_t>(end - p)));
        if (!stop) {
            set_error_name(error_name, p, static_cast<size_t>(end - p));
            return false;
        }
    } else {
        while (stop > p && is_blank(stop[-1])) --stop;
    }
    size_t length = static_cast<size_t>(stop - p);
    if (length > INCLUDE_NAME_CHARS) length = INCLUDE_NAME_CHARS;
    memcpy(name, p, length);
    name[length] = 0;
    return true;
}

HANDLE open_for_reading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool is_absolute(const char* name) {
    return (name[0] && name[1] == ':' && name[2] == '\\') || (name[0] == '\\' && name[1] == '\\');
}

// Opens an include file: an absolute name as it is; a relative one in the
// directory argument, then the current directory, then the search path.
// opened receives the name it was opened under.
HANDLE open_include(const char* name, const char* directory, char* opened) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!is_absolute(name) && directory && directory[0]) {
        size_t dir_length = strlen(directory);
        bool needs_slash = directory[dir_length - 1] != '\\' && directory[dir_length - 1] != '/';
        if (dir_length + needs_slash + strlen(name) < MAX_PATH) {
            memcpy(opened, directory, dir_length);
            if (needs_slash) opened[dir_length++] = '\\';
            strcpy(opened + dir_length, name);
            file = open_for_reading(opened);
        }
    }
    if (file == INVALID_HANDLE_VALUE && strlen(name) < MAX_PATH) {
        strcpy(opened, name);
        file = open_for_reading(opened);
    }
    if (file == INVALID_HANDLE_VALUE && !is_absolute(name) &&
        SearchPathA(nullptr, name, nullptr, MAX_PATH, opened, nullptr) - 1u < MAX_PATH - 1u)
        file = open_for_reading(opened);
    return file;
}

// Reads and prepares one include file into *block; returns its prepared
// length, or a PrepareScript failure code.
int32_t load_include(EngineState* st, const char* name, const char* directory, char* error_name, int level,
                     HGLOBAL* block) {
    char opened[MAX_PATH];
    HANDLE file = open_include(name, directory, opened);
    if (file == INVALID_HANDLE_VALUE) {
        set_error_name(error_name, name, strlen(name));
        return PREPARE_FILE_FAILED;
    }
    uint32_t size = 0;
    FileReadResult read = read_script_file(file, block, &size);
    CloseHandle(file);
    if (read == FileReadResult::no_memory || read == FileReadResult::no_lock) return PREPARE_NO_MEMORY;
    if (read == FileReadResult::ok && size > 1) {
        uint8_t* text = static_cast<uint8_t*>(GlobalLock(*block));
        if (!text) return PREPARE_NO_MEMORY;
        if (starts_with_utf16_mark(text, size) && ConvertUnicodeScript(st, text, size + 2) == 0)
            read = FileReadResult::short_read;
        GlobalUnlock(*block);
    }
    if (read != FileReadResult::ok) {
        set_error_name(error_name, name, strlen(name));
        return PREPARE_FILE_FAILED;
    }
    return PrepareScript(st, block, opened, directory, error_name, level + 1);
}

// Replaces an "#include name" line by the prepared text of the file.
int32_t splice_include(EngineState* st, const char* after_word, const char* end, const char* directory,
                       char* error_name, int level, TextBuilder& out) {
    char name[INCLUDE_NAME_CHARS + 1];
    if (!parse_include_name(after_word, end, name, error_name)) return PREPARE_FILE_FAILED;
    HGLOBAL block = nullptr;
    int32_t length = load_include(st, name, directory, error_name, level, &block);
    if (length > 0) {
        const char* text = static_cast<const char*>(GlobalLock(block));
        if (!text || !out.put(text, static_cast<uint32_t>(length)) ||
            (text[length - 1] != '\n' && !out.put("\n", 1)))
            length = PREPARE_NO_MEMORY;
        if (text) GlobalUnlock(block);
    }
    if (block) GlobalFree(block);
    return length;
}

// Copies the line-normalised text into out line by line, expanding
// #include lines and putting a marker after every directive line.
int32_t expand_lines(EngineState* st, const char* text, const char* file_name, const char* directory,
                     char* error_name, int level, TextBuilder& out) {
    uint32_t line_number = 0;
    for (const char* p = text; *p;) {
        const char* end = strchr(p, '\n');
        const char* next = end ? end + 1 : p + strlen(p);
        if (!end) end = next;
        if (is_marker_line(p, end)) {
            if (!out.put(p, static_cast<uint32_t>(next - p))) return PREPARE_NO_MEMORY;
            p = next;
            continue;
        }
        ++line_number;
        const char* word = skip_blanks(p, end);
        Directive directive = directive_of(word, end);
        if (directive == Directive::include && word + 8 < end && is_blank(word[8])) {
            int32_t spliced = splice_include(st, word + 8, end, directory, error_name, level, out);
            if (spliced < 1) return spliced;
        } else {
            if (!out.put(p, static_cast<uint32_t>(next - p))) return PREPARE_NO_MEMORY;
            if (directive != Directive::none && next == end && !out.put("\n", 1)) return PREPARE_NO_MEMORY;
        }
        if (directive != Directive::none && !out.put_marker(line_number + 1, file_name)) return PREPARE_NO_MEMORY;
        p = next;
    }
    return 1;
}

uint32_t count_directive_lines(const char* text) {
    uint32_t count = 0;
    for (const char* p = text; *p;) {
        const char* end = strchr(p, '\n');
        if (!end) end = p + strlen(p);
        if (directive_of(skip_blanks(p, end), end) != Directive::none) ++count;
        p = *end ? end + 1 : end;
    }
    return count;
}

// Builds the prepared form of a locked, zero-terminated text into out.
int32_t build_prepared(EngineState* st, char* text, const char* file_name, const char* directory, char* error_name,
                       int level, TextBuilder& out) {
    NormaliseLineEnds(text);
    uint32_t marker_size = static_cast<uint32_t>(strlen(file_name)) + MARKER_BYTES;
    uint32_t size = static_cast<uint32_t>(strlen(text)) + 1 + marker_size * (count_directive_lines(text) + 1) + 1;
    if (!out.open(size) || !out.put_marker(1, file_name)) return PREPARE_NO_MEMORY;
    return expand_lines(st, text, file_name, directory, error_name, level, out);
}

// The caller's handle stays valid for a movable block: the result is copied
// back into it rather than replacing it.
int32_t store_result(HGLOBAL* text, const TextBuilder& out) {
    HGLOBAL resized = GlobalReAlloc(*text, out.length + 1, GMEM_MOVEABLE);
    if (!resized) return PREPARE_NO_MEMORY;
    *text = resized;
    char* target = static_cast<char*>(GlobalLock(resized));
    if (!target) return PREPARE_NO_MEMORY;
    memcpy(target, out.data, out.length);
    target[out.length] = 0;
    GlobalUnlock(resized);
    return static_cast<int32_t>(out.length);
}

}  // namespace

int32_t PrepareScript(EngineState* st, HGLOBAL* text, const char* file_name, const char* directory,
                      char* error_name, int level) {
    if (level >= MAX_INCLUDE_LEVEL) return PREPARE_TOO_DEEP;
    if (!file_name) file_name = "";
    char* source = static_cast<char*>(GlobalLock(*text));
    if (!source) return PREPARE_NO_MEMORY;
    size_t size = GlobalSize(*text);
    if (size == 0 || memchr(source, 0, size) == nullptr) {
        GlobalUnlock(*text);
        return PREPARE_NO_MEMORY;  // not a zero-terminated text
    }
    if (already_prepared(source)) {
        int32_t length = static_cast<int32_t>(strlen(source));
        GlobalUnlock(*text);
        return length;
    }
    TextBuilder out;
    int32_t result = build_prepared(st, source, file_name, directory, error_name, level, out);
    GlobalUnlock(*text);
    if (result > 0) result = store_result(text, out);
    out.close();
    return result;
}

Err include_failure_error(int32_t outcome) {
    if (outcome == PREPARE_NO_MEMORY) return Err::IncludeWorkBufferAlloc;
    return outcome == PREPARE_TOO_DEEP ? Err::IncludeNestedTooDeep : Err::IncludeFileAccess;
}

void report_include_failure(EngineState* st, HWND owner, int32_t outcome, const char* file) {
    const int headline = static_cast<int>(Err::ExecutionErrorHeadline);
    if (outcome == PREPARE_NO_MEMORY || outcome == PREPARE_TOO_DEEP) {
        const int reason = static_cast<int>(include_failure_error(outcome));
        ReportError(st, owner, reason, headline, SEVERITY_SEVERE);
        keep_report(st, reason, false);
    } else {
        lstrcpynA(st->offending_line, file, LINE_BUFFER_BYTES);
        ReportError(st, owner, 1, static_cast<int>(Err::IncludeFileAccess), SEVERITY_SEVERE);
    }
}
