// The 56-byte entry shared by the keyword table, the host's function table
// and the extender function table.
#pragma once

#include <stdint.h>

constexpr size_t KEYWORD_NAME_BYTES = 34;

struct KeywordEntry {
    uint32_t id;          // index in its table; also the token id
    uint32_t type;        // operator, function, constant, structure keyword ...
    uint32_t kinds_low;   // argument kinds 1-8, 4 bits each, argument 1 lowest
    uint32_t kinds_high;  // argument kinds 9-16
    uint32_t value;       // constants: the value; functions: required | optional << 8
    uint16_t length;      // of the name in bytes
    char name[KEYWORD_NAME_BYTES];  // lower case
};

static_assert(sizeof(KeywordEntry) == 56, "keyword entry layout");
