// The lexer: cuts the current line into tokens on demand, one token ahead.
// The current token lives in st->lexer (kind, id, text, slot).
#pragma once

#include <stdint.h>
#include "base/exports.h"

struct EngineState;

enum TokenKind : uint8_t {
    TK_END = 0,      // NUL or ";"
    TK_KEYWORD = 1,  // operator, punctuation, keyword, constant or function
    TK_NAME = 2,     // variable name; st->lexer.slot is its slot
    TK_INT = 3,      // integer literal
    TK_STRING = 4,   // string literal, or a raw word (id 0xFFFF)
    TK_FLOAT = 5,    // floating-point literal
};

constexpr uint16_t RAW_WORD_ID = 0xFFFF;

// Points the lexer at the start of a line (no token read yet).
void lexer_start(EngineState* st, const char* line);

KESTR_API void get_token(EngineState* st);
KESTR_API void putback(EngineState* st);
KESTR_API void get_string_token(EngineState* st);

// The current token is keyword `id`.
bool token_is(const EngineState* st, uint16_t id);
