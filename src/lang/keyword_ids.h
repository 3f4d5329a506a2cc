// Keyword ids by name at compile time, so that a table naming a function by
// its text gets the id the keyword table gives it, and a misspelt name stops
// the build.
#pragma once

#include <stdint.h>
#include "lang/keyword_table.h"

namespace keyword_ids_detail {

// The names alone, read from the same rows as the keyword table itself, so
// the two cannot disagree on order.
#define KW_OP(name, kind) name,
#define KW_STRUCT(name) name,
#define KW_SPECIAL(name) name,
#define KW_STMT(name) name,
#define KW_FN(name, required, optional, kinds) name,
#define KW_OWN(name) name,
#define KW_INT(name, value) name,
#define KW_FLOAT(name, index) name,
#define KW_STR(name, index) name,
inline constexpr const char* kNames[] = {
#include "lang/keywords.def"
};
#include "lang/keywords_undef.h"

static_assert(sizeof(kNames) / sizeof(kNames[0]) == KEYWORD_COUNT, "one name per keyword row");

constexpr bool same_text(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// Not constexpr: a constant expression that reaches it (a name missing from
// the keyword table) does not compile. At run time it does nothing.
inline void name_is_not_in_the_keyword_table() {}

}  // namespace keyword_ids_detail

// Id of the keyword-table entry named `name` (lower case, as in the table).
// Use it where a constant is required (a constexpr table row) so that an
// unknown name is a compile error; at run time an unknown name gives 0xFFFF.
constexpr uint16_t keyword_id(const char* name) {
    for (int id = 0; id < KEYWORD_COUNT; ++id)
        if (keyword_ids_detail::same_text(keyword_ids_detail::kNames[id], name))
            return static_cast<uint16_t>(id);
    keyword_ids_detail::name_is_not_in_the_keyword_table();
    return 0xFFFF;
}
