// The layout of the token cache, shared by the cache and the readers of its
// kept tokens (lang/fast_expression.cpp); nothing else looks inside.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include "lang/fast_expression.h"
#include "lang/kept_statements.h"
#include "lang/token_cache.h"

// Lines longer than this, and the tokens or texts past an entry's room, are
// read as always; loops worth caching are made of short lines.
constexpr size_t LINE_CHARS = 255;
constexpr size_t RAW_BYTES = 320;  // the line with its indentation and line end
constexpr size_t TOKENS_PER_LINE = 40;
constexpr size_t TEXT_BYTES = 384;
constexpr uint32_t ENTRY_BITS = 10;
constexpr size_t ENTRIES = size_t{1} << ENTRY_BITS;

struct CachedLine {
    uint32_t stamp;          // changes whenever the entry's tokens are dropped; 0 = unused
    uint32_t tables_serial;  // g_tables_serial when the tokens were first kept
    uint32_t code_page;      // double-byte literals are read by it
    int32_t extender_functions;
    // How the line was read: the buffer's bytes it came from, as stored,
    // where the reading began, the line's first character and the next line.
    uint32_t position;
    uint32_t base;
    uint32_t line_start;
    uint32_t next;
    uint16_t raw_length;
    uint16_t length;
    uint8_t keeps_tokens;    // no %substitution% can change the line's text
    uint16_t token_count;
    uint16_t text_used;
    uint8_t raw[RAW_BYTES];
    char line[LINE_CHARS + 1];
    CachedToken tokens[TOKENS_PER_LINE];
    char text[TEXT_BYTES + CACHED_TEXT_PADDING];
    CompiledExpression expressions[EXPRESSIONS_PER_LINE];
    KeptForm form;           // what the statement is, worked out from the tokens
};

struct TokenCache {
    uint32_t last_stamp;
    CachedLine lines[ENTRIES];
};

