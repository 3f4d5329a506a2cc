// Character classes of the ANSI code page, read once from the system:
// letters, letters-or-digits and lower-case mapping, as tables for the hot
// paths (lexer, keyword lookup, name folding).
#pragma once

#include <stdint.h>

struct CharClassTables {
    uint8_t lower[256];
    uint8_t flags[256];
    bool ready;
};
extern CharClassTables g_chars;

constexpr uint8_t CC_ALPHA = 0x1;  // a letter by the system's classification
constexpr uint8_t CC_ALNUM = 0x2;  // a letter or digit
constexpr uint8_t CC_DIGIT = 0x4;  // '0'..'9'
constexpr uint8_t CC_WORD = 0x8;   // letter, digit, '_' or '@': continues a word

void build_char_classes();

inline const CharClassTables& chars() {
    if (!g_chars.ready) build_char_classes();
    return g_chars;
}
inline uint8_t char_lower(uint8_t c) { return chars().lower[c]; }
inline bool is_alpha(uint8_t c) { return chars().flags[c] & CC_ALPHA; }
inline bool is_alnum(uint8_t c) { return chars().flags[c] & CC_ALNUM; }
inline bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }
inline bool is_word_char(uint8_t c) { return chars().flags[c] & CC_WORD; }
