// The token cache: a direct-mapped table of lines, each with the tokens read
// from it so far, in the order of their offsets.
#include "lang/token_cache.h"
#include "lang/token_cache_entry.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/script_buffer.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/variables.h"

namespace {

// Bumped by every change to a table of function names; entries made before
// it are refilled.
uint32_t g_tables_serial = 1;

TokenCache* token_cache(EngineState* st) {
    if (!st->token_cache && !st->token_cache_unavailable) {
        // Committed on demand by the system, so untouched entries cost nothing.
        void* block = VirtualAlloc(nullptr, sizeof(TokenCache), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        st->token_cache = static_cast<TokenCache*>(block);
        st->token_cache_unavailable = block == nullptr;
    }
    return st->token_cache;
}

inline size_t entry_index(const ScriptBuffer& buffer, uint32_t position) {
    const uint32_t key = position ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer.handle) >> 4);
    return (key * 2654435761u) >> (32 - ENTRY_BITS);
}

inline bool entry_current(const EngineState* st, const CachedLine& e) {
    return e.tables_serial == g_tables_serial && e.code_page == st->code_page &&
           e.extender_functions == ExtenderFunctionCount;
}

void new_stamp(TokenCache& cache, CachedLine& e) {
    if (++cache.last_stamp == 0) ++cache.last_stamp;
    e.stamp = cache.last_stamp;
}

// Drops the entry's tokens: they were read with other tables.
void drop_tokens(const EngineState* st, TokenCache& cache, CachedLine& e) {
    new_stamp(cache, e);
    e.tables_serial = g_tables_serial;
    e.code_page = st->code_page;
    e.extender_functions = ExtenderFunctionCount;
    e.token_count = 0;
    e.text_used = 0;
    forget_expressions(e.expressions);
    e.form = KeptForm{};
}

CachedLineRef token_ref(const EngineState* st, TokenCache& cache, CachedLine& e) {
    if (!e.keeps_tokens) return {nullptr, 0};
    if (!entry_current(st, e)) drop_tokens(st, cache, e);
    return {&e, e.stamp};
}

constexpr uint8_t CTRL_Z = 26;

// Lines are short: comparing them a word at a time in place is cheaper than
// a library call.
inline bool same_word(const uint8_t* a, const uint8_t* b) {
    uint64_t x, y;
    memcpy(&x, a, 8);
    memcpy(&y, b, 8);
    return x == y;
}

bool same_bytes(const uint8_t* a, const uint8_t* b, size_t n) {
    if (n < 8) {
        for (; n > 0; --n)
            if (*a++ != *b++) return false;
        return true;
    }
    // Whole words, the last one overlapping those before it.
    for (size_t i = 0; i + 8 < n; i += 8)
        if (!same_word(a + i, b + i)) return false;
    return same_word(a + n - 8, b + n - 8);
}

// The copy's source and target both have room for a whole short copy.
constexpr size_t SHORT_LINE = 64;
static_assert(LINE_CHARS + 1 >= SHORT_LINE && LINE_BUFFER_BYTES >= SHORT_LINE, "short lines are copied whole");

// The index of the token beginning at `offset`, trying `hint` first (the
// token after the one read last), or -1.
int find_token(const CachedLine& e, uint16_t offset, uint16_t hint) {
    if (hint < e.token_count && e.tokens[hint].begin == offset) return hint;
    int low = 0, high = static_cast<int>(e.token_count) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const uint16_t begin = e.tokens[middle].begin;
        if (begin == offset) return middle;
        if (begin < offset)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

// The lexer's entry, while it still belongs to the lexer's line, and the
// offset of p in that line.
CachedLine* lexer_entry(EngineState* st, const char* p, uint16_t* offset) {
    LexerState& lx = st->lexer;
    CachedLine* e = lx.cache;
    if (e->stamp != lx.cache_stamp) {
        lx.cache = nullptr;
        return nullptr;
    }
    if (p < lx.cache_base || p > lx.cache_base + e->length) return nullptr;
    *offset = static_cast<uint16_t>(p - lx.cache_base);
    return e;
}

bool store_text(CachedLine& e, CachedToken& t, const char* text, uint16_t length) {
    if (e.text_used + length + 1u > TEXT_BYTES) return false;
    t.text_at = e.text_used;
    t.text_length = length;
    memcpy(e.text + e.text_used, text, length);
    e.text[e.text_used + length] = '\0';
    e.text_used = static_cast<uint16_t>(e.text_used + length + 1);
    return true;
}

}  // namespace

bool read_kept_line(EngineState* st, const ScriptBuffer& buffer, const uint8_t* text, char* line,
                    uint32_t* line_start, uint32_t* position, CachedLineRef* kept) {
    *kept = {nullptr, 0};
    TokenCache* cache = st->token_cache;
    if (!cache) return false;
    CachedLine& e = cache->lines[entry_index(buffer, *position)];
    // Equal bytes at the same place of the script decode to the same line,
    // whichever buffer holds them.
    if (!e.stamp || e.position != *position || e.base != buffer.base || e.next > buffer.length ||
        !same_bytes(text + e.position, e.raw, e.raw_length))
        return false;
    if (e.length < SHORT_LINE)
        memcpy(line, e.line, SHORT_LINE);
    else
        memcpy(line, e.line, e.length + 1u);
    *line_start = e.line_start;
    *position = e.next;
    *kept = token_ref(st, *cache, e);
    return true;
}

void keep_line(EngineState* st, const ScriptBuffer& buffer, const uint8_t* text, uint32_t from,
               uint32_t line_start, uint32_t next, const char* line, CachedLineRef* kept) {
    *kept = {nullptr, 0};
    // A line cut at the end of the buffer may read on in a longer buffer.
    if (next <= from || next > buffer.length || next - from > RAW_BYTES || st->pending_line_error) return;
    const uint8_t end = unscramble_byte(text[next - 1], next - 1 + buffer.base);
    if (end != '\n' && end != CTRL_Z) return;
    const size_t length = strnlen(line, LINE_CHARS + 1);
    if (length > LINE_CHARS) return;
    TokenCache* cache = token_cache(st);
    if (!cache) return;
    CachedLine& e = cache->lines[entry_index(buffer, from)];
    drop_tokens(st, *cache, e);
    e.position = from;
    e.base = buffer.base;
    e.line_start = line_start;
    e.next = next;
    e.raw_length = static_cast<uint16_t>(next - from);
    memcpy(e.raw, text + from, e.raw_length);
    e.length = static_cast<uint16_t>(length);
    memcpy(e.line, line, length + 1);
    e.keeps_tokens = strchr(line, '%') == nullptr;
    *kept = token_ref(st, *cache, e);
}

void lexer_use_cache(EngineState* st, const CachedLineRef& line, const char* base) {
    LexerState& lx = st->lexer;
    lx.cache = line.entry;
    lx.cache_base = base;
    lx.cache_stamp = line.stamp;
    lx.cache_next = 0;
    lx.cache_current = NO_TOKEN;
}

const CachedToken* cached_token(EngineState* st, const char* p) {
    uint16_t offset;
    CachedLine* e = lexer_entry(st, p, &offset);
    if (!e) return nullptr;
    const int index = find_token(*e, offset, st->lexer.cache_next);
    if (index < 0) return nullptr;
    const CachedToken& t = e->tokens[index];
    if (t.kind == TK_NAME && !slot_holds_name(st, t.slot, e->text + t.text_at, t.text_length)) return nullptr;
    st->lexer.cache_current = static_cast<uint16_t>(index);
    st->lexer.cache_next = static_cast<uint16_t>(index + 1);
    return &t;
}

const char* cached_token_text(const EngineState* st, const CachedToken& token) {
    return st->lexer.cache->text + token.text_at;
}

void keep_token(EngineState* st, const char* p) {
    uint16_t offset;
    CachedLine* e = lexer_entry(st, p, &offset);
    if (!e) return;
    LexerState& lx = st->lexer;
    const uint16_t end = static_cast<uint16_t>(lx.read - lx.cache_base);
    const int index = find_token(*e, offset, lx.cache_next);
    if (index >= 0) {
        // Read again because its variable had moved: only the slot can differ.
        CachedToken& t = e->tokens[index];
        if (t.kind == lx.kind && t.end == end && t.text_length == lx.text_length) t.slot = lx.slot;
        lx.cache_current = static_cast<uint16_t>(index);
        lx.cache_next = static_cast<uint16_t>(index + 1);
        return;
    }
    if (e->token_count == TOKENS_PER_LINE) return;
    if (e->token_count > 0 && e->tokens[e->token_count - 1].begin > offset) return;
    CachedToken& t = e->tokens[e->token_count];
    if (!store_text(*e, t, lx.text, lx.text_length)) return;
    t.begin = offset;
    t.end = end;
    t.kind = lx.kind;
    t.id = lx.id;
    t.slot = lx.slot;
    lx.cache_current = e->token_count;
    lx.cache_next = ++e->token_count;
}

void note_name_tables_changed() { ++g_tables_serial; }

void free_token_cache(EngineState* st) {
    if (st->token_cache) VirtualFree(st->token_cache, 0, MEM_RELEASE);
    st->token_cache = nullptr;
    st->lexer.cache = nullptr;
}
