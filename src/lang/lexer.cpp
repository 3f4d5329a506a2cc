// The lexer: reads the token at the current position of the line and
// advances past it. Words resolve to keywords or variable slots as they are met.
#include "lang/lexer.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/charclass.h"
#include "lang/keyword_lookup.h"
#include "lang/keyword_table.h"
#include "lang/token_cache.h"
#include "lang/variables.h"

namespace {

// A numeric literal or object chain is cut at 2048 characters.
constexpr size_t kTokenMax = LINE_MAX_CHARS;
// A string literal takes at most 2049 characters.
constexpr size_t kLiteralMax = LINE_MAX_CHARS + 1;
// PtrPersistent decorates names, so their own part is shorter.
constexpr size_t kPersistentNameMax = 25;

inline const uint8_t* at(const char* p) { return reinterpret_cast<const uint8_t*>(p); }
inline bool is_quote(uint8_t c) { return c == '"' || c == '\'' || c == '`'; }
inline bool is_blank(uint8_t c) { return c == ' ' || c == '\t'; }
inline bool starts_word(uint8_t c) { return is_alpha(c) || c == '@' || c == '_'; }

const char* skip_blanks(const char* p) {
    while (is_blank(*at(p))) ++p;
    return p;
}

void set_text(LexerState& lx, const char* from, size_t length) {
    memcpy(lx.text, from, length);
    lx.text[length] = '\0';
    lx.text_length = static_cast<uint16_t>(length);
}

// A "&" is a prefix (address-of) when the token before it was an operator
// or punctuation other than ")" and not a constant: "x = &y", "f(&y)".
bool is_address_prefix(EngineState* st, uint8_t prev_kind, uint16_t prev_id, const char* p) {
    if (p[0] != '&' || p[1] == '&' || prev_kind != TK_KEYWORD) return false;
    return prev_id != KWID_CLOSE && keyword_type(st, prev_id) != KT_CONSTANT;
}

// number -> digits ['.' digits] [('e'|'E') ['+'|'-'] digits]
const char* read_number(EngineState* st, const char* p) {
    LexerState& lx = st->lexer;
    const char* start = p;
    bool dot = false, exponent = false;
    lx.kind = TK_INT;
    for (;; ++p) {
        uint8_t c = *at(p);
        if (is_digit(c)) continue;
        if (c == '.') {
            if (dot) {
                raise(st, Err::FpTooManyDots);
                return nullptr;
            }
            // A point needs a digit on one side within this number.
            if (!is_digit(at(p)[1]) && (p == start || !is_digit(at(p)[-1]))) {
                raise(st, Err::UnrecognizableItem);
                return nullptr;
            }
            dot = true;
            lx.kind = TK_FLOAT;
            continue;
        }
        if (c == 'e' || c == 'E') {
            if (exponent) {
                raise(st, Err::FpTooManyExponents);
                return nullptr;
            }
            uint8_t next = at(p)[1];
            if ((next == '+' || next == '-') && is_digit(at(p)[2])) {
                ++p;
            } else if (!is_digit(next)) {
                raise(st, Err::UnrecognizableItem);
                return nullptr;
            }
            exponent = true;
            lx.kind = TK_FLOAT;
            continue;
        }
        break;
    }
    size_t length = static_cast<size_t>(p - start);
    if (length > kTokenMax) {
        lx.kind = TK_END;
        raise(st, Err::StringTooLong);
        return nullptr;
    }
    set_text(lx, start, length);
    return p;
}

// A literal runs to the same quote character; a doubled quote stands for
// one; the end of the line ends an unterminated literal without an error.
const char* read_string_literal(EngineState* st, const char* p) {
    LexerState& lx = st->lexer;
    const uint8_t quote = *at(p++);
    size_t n = 0;
    while (*p && n < kLiteralMax) {
        uint8_t c = *at(p);
        if (c == quote) {
            if (at(p)[1] != quote) {
                ++p;
                break;
            }
            p += 2;
            lx.text[n++] = static_cast<char>(quote);
            continue;
        }
        if (IsDBCSLeadByteEx(st->code_page, c) && p[1]) {
            lx.text[n++] = p[0];
            lx.text[n++] = p[1];
            p += 2;
            continue;
        }
        lx.text[n++] = *p++;
    }
    lx.text[n] = '\0';
    lx.text_length = static_cast<uint16_t>(n);
    lx.kind = TK_STRING;
    return p;
}

// The object expression's token text is the whole dotted chain.
const char* read_object_chain(EngineState* st, const char* p) {
    const char* start = p;
    ++p;  // the first character may be "@"
    while (is_alnum(*at(p)) || *p == '_' || *p == '.') ++p;
    size_t length = static_cast<size_t>(p - start);
    if (length > kTokenMax) {
        raise(st, Err::StringTooLong);
        return nullptr;
    }
    LexerState& lx = st->lexer;
    set_text(lx, start, length);
    lx.kind = TK_KEYWORD;
    lx.object_dereference = lx.dereference;
    return p;
}

// The dereference scratch name lives in slot 0 with the high bit of its
// first byte set, so no lookup by name ever finds it.
void store_scratch_name(EngineState* st) {
    VariableSlot& zero = st->table.slots[0];
    LexerState& lx = st->lexer;
    memcpy(zero.name, lx.name, VARIABLE_NAME_BYTES - 1);
    zero.name[VARIABLE_NAME_BYTES - 1] = '\0';
    zero.name[0] = static_cast<char>(zero.name[0] | 0x80);
    lx.slot = 0;
}

const char* read_variable_name(EngineState* st, const char* p, bool address_of) {
    LexerState& lx = st->lexer;
    const size_t limit = lx.persistent_name ? kPersistentNameMax : VARIABLE_NAME_MAX;
    char name[VARIABLE_NAME_BYTES];
    size_t n = 0;
    for (uint8_t c = *at(p); is_word_char(c) || c == '.'; c = *at(++p)) {
        if (n == limit) {
            raise(st, Err::NameTooLong);
            return nullptr;
        }
        name[n++] = static_cast<char>(char_lower(c));
    }
    name[n] = '\0';
    if (lx.persistent_name) {
        unsigned function = st->current_function;
        n = static_cast<size_t>(snprintf(lx.name, sizeof lx.name, "?%02x__%s", function, name));
    } else {
        memcpy(lx.name, name, n + 1);
    }
    set_text(lx, lx.name, n);
    lx.kind = TK_NAME;
    if (lx.dereference) {
        store_scratch_name(st);
        return p;
    }
    lx.slot = find_or_create_slot(st, lx.name, n, address_of ? VF_INT : VF_UNINITIALIZED);
    if (lx.slot == NO_SLOT) {
        lx.kind = TK_END;
        return nullptr;
    }
    return p;
}

// A character that cannot start a word: an operator, punctuation or a literal.
const char* read_operator(EngineState* st, const char* p) {
    LexerState& lx = st->lexer;
    size_t length = 0;
    int id = LookupKeyword(st, false, p, &length);
    if (id >= 0) {
        lx.id = static_cast<uint16_t>(id);
        set_text(lx, p, length);
        lx.kind = TK_KEYWORD;
        return p + length;
    }
    if (is_quote(*at(p))) return read_string_literal(st, p);
    raise(st, Err::UnrecognizableItem);
    return nullptr;
}

const char* read_word(EngineState* st, const char* p, bool address_of) {
    LexerState& lx = st->lexer;
    size_t length = 0;
    int id = LookupKeyword(st, true, p, &length);
    if (id < 0) return read_variable_name(st, p, address_of);
    lx.id = static_cast<uint16_t>(id);
    if (id == KWID_OBJECT) return read_object_chain(st, p);
    set_text(lx, p, length);
    lx.kind = TK_KEYWORD;
    return p + length;
}

// A kept token, read back exactly as it was first read: the fields a fresh
// read of that kind sets, and no others.
void take_cached_token(EngineState* st, const CachedToken& t, const char* p, uint8_t prev_kind, uint16_t prev_id) {
    LexerState& lx = st->lexer;
    const char* text = cached_token_text(st, t);
    // Most tokens are short: one fixed-size copy, which the compiler inlines,
    // instead of a library call per token (the text store is padded for it).
    if (t.text_length < CACHED_TEXT_PADDING)
        memcpy(lx.text, text, CACHED_TEXT_PADDING);
    else
        memcpy(lx.text, text, t.text_length + 1u);
    lx.text_length = t.text_length;
    lx.kind = t.kind;
    if (t.kind == TK_KEYWORD) {
        lx.id = t.id;
        if (t.id == KWID_OBJECT) lx.object_dereference = 0;
    } else if (t.kind == TK_NAME) {
        static_assert(sizeof lx.name >= CACHED_TEXT_PADDING, "a name is copied whole");
        if (t.text_length < CACHED_TEXT_PADDING)
            memcpy(lx.name, text, CACHED_TEXT_PADDING);
        else
            memcpy(lx.name, text, t.text_length + 1u);
        lx.slot = t.slot;
    }
    lx.token_start = p;
    lx.read = lx.cache_base + t.end;
    lx.address_of = is_address_prefix(st, prev_kind, prev_id, p);
    lx.dereference = 0;
}

}  // namespace

void lexer_start(EngineState* st, const char* line) {
    LexerState& lx = st->lexer;
    lx.read = line;
    lx.token_start = line;
    lx.kind = TK_END;
    lx.text[0] = '\0';
    lx.text_length = 0;
    lx.address_of = 0;
    lx.dereference = 0;
    lx.cache = nullptr;
}

namespace {

// Reads the token at p from the text. Kept out of line so that a kept
// token, the usual case in a loop, is taken without this frame.
__attribute__((noinline)) void read_token(EngineState* st, const char* p, bool plain) {
    LexerState& lx = st->lexer;
    const uint8_t prev_kind = lx.kind;
    const uint16_t prev_id = lx.id;
    const bool address_of = lx.address_of;
    lx.kind = TK_END;
    lx.uncacheable = 0;
    lx.cache_current = NO_TOKEN;
    lx.token_start = p;
    const bool prefix = is_address_prefix(st, prev_kind, prev_id, p);
    const uint8_t c = *at(p);
    const char* next;
    if (c == '\0' || c == ';') {
        lx.text[0] = '\0';
        lx.text_length = 0;
        next = p;
    } else if (is_digit(c) || c == '.') {
        next = read_number(st, p);
    } else if (!starts_word(c)) {
        next = read_operator(st, p);
    } else {
        next = read_word(st, p, address_of);
    }
    if (next) {
        lx.read = next;
        if (lx.cache && plain && !lx.uncacheable) keep_token(st, p);
    } else {
        lx.kind = TK_END;
    }
    lx.address_of = prefix;
    lx.dereference = 0;
}

}  // namespace

KESTR_API void get_token(EngineState* st) {
    LexerState& lx = st->lexer;
    const char* p = skip_blanks(lx.read);
    // A dereferenced or persistent name is read afresh every time.
    const bool plain = !lx.dereference && !lx.persistent_name;
    if (lx.cache && plain) {
        if (const CachedToken* t = cached_token(st, p)) return take_cached_token(st, *t, p, lx.kind, lx.id);
    }
    read_token(st, p, plain);
}

KESTR_API void putback(EngineState* st) {
    LexerState& lx = st->lexer;
    if (lx.kind != TK_END) lx.read = lx.token_start;
}

KESTR_API void get_string_token(EngineState* st) {
    LexerState& lx = st->lexer;
    lx.kind = TK_END;
    const char* p = skip_blanks(lx.read);
    lx.token_start = p;
    uint8_t c = *at(p);
    if (c == '\0' || c == ';') {
        lx.read = p;
        return;
    }
    if (!is_word_char(c)) {
        raise(st, Err::UnrecognizableItem);
        return;
    }
    size_t n = 0;
    while (is_word_char(*at(p)) || (IsDBCSLeadByteEx(st->code_page, *at(p)) && p[1])) {
        if (n + 2 >= LINE_BUFFER_BYTES) {
            raise(st, Err::StringTooLong);
            return;
        }
        if (IsDBCSLeadByteEx(st->code_page, *at(p))) lx.text[n++] = *p++;
        lx.text[n++] = *p++;
    }
    lx.text[n] = '\0';
    lx.text_length = static_cast<uint16_t>(n);
    lx.read = p;
    lx.kind = TK_STRING;
    lx.id = RAW_WORD_ID;
}

bool token_is(const EngineState* st, uint16_t id) {
    return st->lexer.kind == TK_KEYWORD && st->lexer.id == id;
}
