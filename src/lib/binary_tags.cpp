// Binary buffers: tag structures, the text a script keeps between calls to
// walk the pairs of start and end tags in a buffer, extract and replace
// what they enclose.
#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

constexpr size_t kHeaderDigits = 36;
constexpr uint32_t STATE_INIT = 'I', STATE_FOUND = 'F', STATE_REPLACED = 'R';

struct TagState {
    BinaryBufferEntry* buffer;
    uint32_t slot, offset, state, text_length;
    Span<char> start, end;  // inside the structure text
};

// Reads `digits` upper- or lower-case hex digits; false for anything else.
bool read_hex(const char* p, size_t digits, uint32_t* value) {
    uint32_t n = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = p[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) return false;
        n = n << 4 | static_cast<uint32_t>(d);
    }
    *value = n;
    return true;
}

// Parses and checks a structure (1581 when it is not one, 3023 when its
// buffer is gone).
bool parse_tags(EngineState* st, const Value& arg, TagState* t) {
    const Span<char> s = arg_span<char>(st, arg);
    uint32_t total, start_length, end_length;
    const bool read = s.n >= kHeaderDigits && read_hex(s.p, 4, &total) && read_hex(s.p + 4, 4, &t->slot) &&
                      read_hex(s.p + 8, 8, &t->offset) && read_hex(s.p + 16, 4, &t->state) &&
                      read_hex(s.p + 20, 4, &start_length) && read_hex(s.p + 24, 4, &end_length) &&
                      read_hex(s.p + 28, 8, &t->text_length);
    if (!read || total != s.n || (t->offset | t->text_length) > 0x7FFFFFFF || start_length < 1 || end_length < 1 ||
        (t->state != STATE_INIT && t->state != STATE_FOUND && t->state != STATE_REPLACED) ||
        kHeaderDigits + start_length + 1 + end_length + 1 != total || s.p[kHeaderDigits + start_length] != ' ' ||
        s.p[total - 1] != ' ')
        return raise(st, Err::BinaryTagBadStructure);
    t->start = Span<char>{s.p + kHeaderDigits, start_length};
    t->end = Span<char>{s.p + kHeaderDigits + start_length + 1, end_length};
    t->buffer = binary_buffer(st, static_cast<int32_t>(t->slot) + BINBUF_HANDLE_BASE);
    return t->buffer != nullptr;
}

// The tagged span of the last find must lie within EOD.
bool check_span(EngineState* st, const TagState& t) {
    const uint64_t end = static_cast<uint64_t>(t.offset) + t.start.n + t.text_length + t.end.n;
    return t.state != STATE_FOUND || end <= t.buffer->eod || raise(st, Err::BinaryTagBadStructure);
}

bool write_tags(EngineState* st, Value* result, uint32_t slot, uint32_t offset, uint32_t state, Span<char> start,
                Span<char> end, uint32_t text_length) {
    const size_t total = kHeaderDigits + start.n + 1 + end.n + 1;
    char* out = new_result_text<char>(st, result, total);
    if (!out) return false;
    char header[kHeaderDigits + 1];
    sprintf(header, "%04lX%04lX%08lX%04lX%04lX%04lX%08lX", static_cast<unsigned long>(total),
            static_cast<unsigned long>(slot), static_cast<unsigned long>(offset), static_cast<unsigned long>(state),
            static_cast<unsigned long>(start.n), static_cast<unsigned long>(end.n),
            static_cast<unsigned long>(text_length));
    memcpy(out, header, kHeaderDigits);
    memcpy(out + kHeaderDigits, start.p, start.n);
    out[kHeaderDigits + start.n] = ' ';
    memcpy(out + kHeaderDigits + start.n + 1, end.p, end.n);
    out[total - 1] = ' ';
    return true;
}

// BinaryTagInit(handle, start tag, end tag)
BUILTIN(bin_tag_init) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const Span<char> start = arg_span<char>(st, args[2]), end = arg_span<char>(st, args[3]);
    if (start.n == 0 || end.n == 0 || start.n > 0xFFFF || end.n > 0xFFFF)
        return static_cast<void>(raise(st, Err::BinaryTagInitBlankTag));
    write_tags(st, result, static_cast<uint32_t>(binary_slot(st, b)), 0, STATE_INIT, start, end, 0);
}

int64_t find_tag(const BinaryBufferEntry* b, int64_t from, Span<char> tag) {
    const int64_t last = static_cast<int64_t>(b->eod) - static_cast<int64_t>(tag.n);
    return from > last ? -1 : scan_bytes(b->data, from, last, reinterpret_cast<const uint8_t*>(tag.p), tag.n, false);
}

// BinaryTagFind(structure): the next pair of tags, ignoring case, within
// EOD; "" when there is none.
BUILTIN(bin_tag_find) {
    TagState t{};
    if (!parse_tags(st, args[1], &t) || !check_span(st, t)) return;
    int64_t from = t.offset;
    if (t.state == STATE_FOUND) from += static_cast<int64_t>(t.start.n + t.text_length + t.end.n);
    const int64_t start = find_tag(t.buffer, from, t.start);
    const int64_t end = start < 0 ? -1 : find_tag(t.buffer, start + static_cast<int64_t>(t.start.n), t.end);
    if (end < 0) return static_cast<void>(new_result_text<char>(st, result, 0));
    const uint32_t text_length = static_cast<uint32_t>(end - start - static_cast<int64_t>(t.start.n));
    write_tags(st, result, t.slot, static_cast<uint32_t>(start), STATE_FOUND, t.start, t.end, text_length);
}

bool is_line_space(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// BinaryTagExtr(structure, flags): the text between the tags of the last
// find. Flag 1 turns tabs and line ends into spaces, dropping those next to
// a space.
BUILTIN(bin_tag_extr) {
    TagState t{};
    if (!parse_tags(st, args[1], &t) || !check_span(st, t)) return;
    const uint32_t length = t.state == STATE_FOUND ? t.text_length : 0;
    const char* text = reinterpret_cast<const char*>(t.buffer->data) + t.offset + t.start.n;
    char* out = new_result_text<char>(st, result, length);
    if (!out) return;
    if (!(args[2].v.integer & 1)) return static_cast<void>(memcpy(out, text, length));
    size_t n = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (!is_line_space(c)) {
            out[n++] = c;
            continue;
        }
        const bool next_is_space = i + 1 < length && text[i + 1] == ' ';
        if (!(n > 0 && out[n - 1] == ' ') && !next_is_space) out[n++] = ' ';
    }
    out[n] = 0;
}

// BinaryTagIndex(structure, mode): 0 the text's offset, 1 the start tag's.
BUILTIN(bin_tag_index) {
    TagState t{};
    if (!parse_tags(st, args[1], &t)) return;
    const int32_t mode = args[2].v.integer;
    if (mode != 0 && mode != 1) return static_cast<void>(raise(st, Err::BinaryTagBadMode));
    result->v.integer = static_cast<int32_t>(t.offset + (mode == 0 ? t.start.n : 0));
}

// BinaryTagLen(structure, mode): 0 the text's length, 1 with both tags.
BUILTIN(bin_tag_len) {
    TagState t{};
    if (!parse_tags(st, args[1], &t)) return;
    const int32_t mode = args[2].v.integer;
    if (mode != 0 && mode != 1) return static_cast<void>(raise(st, Err::BinaryTagBadMode));
    result->v.integer = static_cast<int32_t>(t.text_length + (mode == 1 ? t.start.n + t.end.n : 0));
}

// BinaryTagRepl(structure, new): the tagged span of the last find becomes
// new; without room the span is skipped. A structure that found nothing
// comes back unchanged.
BUILTIN(bin_tag_repl) {
    TagState t{};
    if (!parse_tags(st, args[1], &t) || !check_span(st, t)) return;
    if (t.state != STATE_FOUND) {
        set_result<char>(st, result, arg_span<char>(st, args[1]));
        return;
    }
    BinaryBufferEntry* b = t.buffer;
    const Span<char> replacement = arg_span<char>(st, args[2]);
    const size_t span = t.start.n + t.text_length + t.end.n;
    uint32_t next = t.offset + static_cast<uint32_t>(span);
    if (static_cast<uint64_t>(b->size) - b->eod + span >= replacement.n) {
        const size_t after = b->eod - (t.offset + span);
        memmove(b->data + t.offset + replacement.n, b->data + t.offset + span, after);
        memcpy(b->data + t.offset, replacement.p, replacement.n);
        const uint32_t eod = static_cast<uint32_t>(t.offset + replacement.n + after);
        if (eod < b->eod) memset(b->data + eod, 0, b->eod - eod);
        b->eod = eod;
        next = t.offset + static_cast<uint32_t>(replacement.n);
    }
    write_tags(st, result, t.slot, next, STATE_REPLACED, t.start, t.end, 0);
}

}  // namespace

constexpr BuiltinRow kBinaryTagBuiltins[] = {
    BUILTIN_ROW("binarytagextr", bin_tag_extr),
    BUILTIN_ROW("binarytagfind", bin_tag_find),
    BUILTIN_ROW("binarytagindex", bin_tag_index),
    BUILTIN_ROW("binarytaginit", bin_tag_init),
    BUILTIN_ROW("binarytaglen", bin_tag_len),
    BUILTIN_ROW("binarytagrepl", bin_tag_repl),
};
constexpr size_t kBinaryTagBuiltinCount = sizeof(kBinaryTagBuiltins) / sizeof(kBinaryTagBuiltins[0]);
