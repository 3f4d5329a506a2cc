// Text files for the array file functions: chunked line reading with the
// carriage-return and NUL rules, and buffered writing.
#include "lib/text_file.h"

#include <string.h>
#include "base/errors.h"

namespace {

// Read chunk and write buffer size; lines longer than a chunk are
// assembled across chunks.
constexpr DWORD CHUNK_BYTES = 64 * 1024;
constexpr size_t FIRST_LINE_CAPACITY = 256;

// Files are read while others may read them too, and written with no
// sharing at all, as the file functions do by default.
constexpr DWORD READ_SHARE = FILE_SHARE_READ;
constexpr DWORD WRITE_SHARE = 0;

char* allocate(size_t bytes) { return static_cast<char*>(GlobalAlloc(GMEM_FIXED, bytes)); }

void release(char*& block) {
    if (block) GlobalFree(block);
    block = nullptr;
}

bool reserve_line(EngineState* st, LineReader* r, size_t more) {
    const size_t needed = r->length + more + 1;
    if (needed <= r->capacity) return true;
    size_t capacity = r->capacity ? r->capacity : FIRST_LINE_CAPACITY;
    while (capacity < needed) capacity *= 2;
    auto* grown = static_cast<char*>(GlobalReAlloc(r->line, capacity, GMEM_MOVEABLE));
    if (!grown) return raise(st, Err::AllocFailed);
    r->line = grown;
    r->capacity = capacity;
    return true;
}

// Appends raw bytes to the line, leaving out carriage returns and applying
// the NUL rule.
bool append_bytes(EngineState* st, LineReader* r, const char* p, size_t n) {
    CHECK(reserve_line(st, r, n));
    char* out = r->line + r->length;
    for (const char* end = p + n; p < end; ++p) {
        const char c = *p;
        if (c == '\r') continue;
        if (c == '\0') {
            if (r->nul_rule == NulRule::Refuse) return raise(st, Err::FileHasNullChar);
            if (r->nul_rule == NulRule::Drop) continue;
            *out++ = r->nul_replacement;
            continue;
        }
        *out++ = c;
    }
    r->length = static_cast<size_t>(out - r->line);
    return true;
}

bool fill_chunk(EngineState* st, LineReader* r) {
    DWORD got = 0;
    if (!ReadFile(r->file, r->chunk, CHUNK_BYTES, &got, nullptr)) return raise(st, Err::FileReadError);
    r->chunk_filled = got;
    r->chunk_read = 0;
    if (got == 0) r->at_end = true;
    return true;
}

bool write_through(EngineState* st, HANDLE file, const char* data, size_t length) {
    DWORD written = 0;
    if (!WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr) || written != length)
        return raise(st, Err::FileWriteError);
    return true;
}

bool flush(EngineState* st, TextWriter* w) {
    const size_t used = w->used;
    w->used = 0;
    return used == 0 || write_through(st, w->file, w->buffer, used);
}

}  // namespace

bool open_lines(EngineState* st, LineReader* reader, const char* path, NulRule rule, char replacement) {
    reader->nul_rule = rule;
    reader->nul_replacement = replacement;
    reader->file = CreateFileA(path, GENERIC_READ, READ_SHARE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader->file == INVALID_HANDLE_VALUE) return raise(st, Err::FileOpenError);
    reader->chunk = allocate(CHUNK_BYTES);
    reader->line = allocate(FIRST_LINE_CAPACITY);
    reader->capacity = FIRST_LINE_CAPACITY;
    if (!reader->chunk || !reader->line) {
        close_lines(reader);
        return raise(st, Err::AllocFailed);
    }
    return true;
}

bool next_line(EngineState* st, LineReader* r, bool* got) {
    r->length = 0;
    r->line[0] = '\0';
    bool any = false;
    for (;;) {
        if (r->chunk_read == r->chunk_filled) {
            if (r->at_end) break;
            CHECK(fill_chunk(st, r));
            if (r->at_end) break;
        }
        const char* p = r->chunk + r->chunk_read;
        const size_t available = r->chunk_filled - r->chunk_read;
        const char* feed = static_cast<const char*>(memchr(p, '\n', available));
        const size_t take = feed ? static_cast<size_t>(feed - p) : available;
        CHECK(append_bytes(st, r, p, take));
        any = true;
        r->chunk_read += static_cast<DWORD>(take + (feed ? 1 : 0));
        if (feed) break;
    }
    r->line[r->length] = '\0';
    *got = any;
    return true;
}

bool rewind_lines(EngineState* st, LineReader* r) {
    if (SetFilePointer(r->file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return raise(st, Err::FileReadError);
    r->chunk_filled = r->chunk_read = 0;
    r->at_end = false;
    return true;
}

void close_lines(LineReader* r) {
    if (r->file != INVALID_HANDLE_VALUE) CloseHandle(r->file);
    r->file = INVALID_HANDLE_VALUE;
    release(r->chunk);
    release(r->line);
    r->capacity = r->length = 0;
}

bool create_text_file(EngineState* st, TextWriter* writer, const char* path) {
    writer->file = CreateFileA(path, GENERIC_WRITE, WRITE_SHARE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer->file == INVALID_HANDLE_VALUE) return raise(st, Err::FileOpenError);
    writer->buffer = allocate(CHUNK_BYTES);
    writer->used = 0;
    if (!writer->buffer) {
        (void)close_text_file(st, writer, false);
        return raise(st, Err::AllocFailed);
    }
    return true;
}

bool write_text(EngineState* st, TextWriter* w, const char* data, size_t length) {
    if (length > CHUNK_BYTES - w->used) CHECK(flush(st, w));
    if (length >= CHUNK_BYTES) return write_through(st, w->file, data, length);
    memcpy(w->buffer + w->used, data, length);
    w->used += length;
    return true;
}

bool close_text_file(EngineState* st, TextWriter* w, bool flush_first) {
    bool ok = true;
    if (flush_first && w->file != INVALID_HANDLE_VALUE && w->buffer) ok = flush(st, w);
    if (w->file != INVALID_HANDLE_VALUE) CloseHandle(w->file);
    w->file = INVALID_HANDLE_VALUE;
    release(w->buffer);
    w->used = 0;
    return ok;
}
