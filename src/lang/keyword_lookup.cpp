// LookupKeyword: the object-expression tests, the longest match over the
// keyword table through its first-character index, then the user-defined,
// extender and host tables; and the start-up check of the keyword table.
#include "lang/keyword_lookup.h"

#include <string.h>

#include "base/engine_state.h"
#include "base/message_box.h"
#include "lang/charclass.h"
#include "lang/keyword_table.h"
#include "lang/value.h"
#include "lang/var_pointer.h"
#include "lang/variables.h"

namespace {

// Words longer than a variable name cannot be objects; they skip the "." and
// "[" tests and are looked up by longest match only.
constexpr size_t OBJECT_WORD_MAX = VARIABLE_NAME_MAX;
constexpr int HOST_ENTRIES_MAX = HOST_ID_LAST - HOST_ID_BASE + 1;
constexpr int UDF_ENTRIES_MAX = UDF_ID_LAST - UDF_ID_BASE + 1;

// A whole word can only match an entry whose name is exactly the word
// lowered, when that name is made of word characters alone: the byte after
// the match must end the word. Those entries are found by hashing the word;
// the few others ("odd" names) are still tried one by one.
constexpr size_t WORD_HASH_SLOTS = 2048;  // a power of two, over three times the table
constexpr size_t ODD_NAMES_MAX = 32;

// Process-wide, built at the first lookup (on the user-interface thread, like
// every entry) and only read afterwards.
struct LookupIndex {
    uint16_t first[128 + 1];  // entries beginning with byte c: first[c] .. first[c + 1] - 1
    uint16_t word_hash[WORD_HASH_SLOTS];  // entry index + 1 of a word-only name, 0 = free
    uint16_t odd[ODD_NAMES_MAX];          // entries with other names, in table order
    uint16_t odd_count;
    bool hashed;  // false when the odd names did not fit: every lookup scans
    bool ready;
};
LookupIndex g_index;

// The character maps come from the shared tables, so that a name is lowered
// here exactly as the lexer lowers it.
inline uint8_t lower(uint8_t c) { return g_chars.lower[c]; }
inline bool continues_word(uint8_t c) { return (g_chars.flags[c] & CC_ALNUM) || c == '_'; }
// "@" may only begin a word, but a name must not be followed by one either.
inline bool ends_name(uint8_t c) { return !(g_chars.flags[c] & CC_WORD); }

inline uint8_t first_byte(const KeywordEntry& entry) { return static_cast<uint8_t>(entry.name[0]); }

void build_first_index(const KeywordEntry* table, size_t count) {
    size_t i = 0;
    for (int c = 0; c <= 128; ++c) {
        while (i < count && first_byte(table[i]) < c) ++i;
        g_index.first[c] = static_cast<uint16_t>(i);
    }
}

inline uint32_t word_hash(const uint8_t* lowered, size_t length) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; ++i) h = (h ^ lowered[i]) * 16777619u;
    return h;
}

bool word_only_name(const KeywordEntry& entry) {
    if (entry.length == 0 || entry.length >= KEYWORD_NAME_BYTES) return false;
    for (size_t i = 0; i < entry.length; ++i)
        if (!(g_chars.flags[static_cast<uint8_t>(entry.name[i])] & CC_WORD)) return false;
    return true;
}

// The first entry of a name keeps its place: a longest-match scan keeps the
// first of equally long matches.
void hash_entry(const KeywordEntry* table, uint16_t index) {
    const KeywordEntry& entry = table[index];
    const auto* name = reinterpret_cast<const uint8_t*>(entry.name);
    for (uint32_t h = word_hash(name, entry.length);; ++h) {
        uint16_t& slot = g_index.word_hash[h & (WORD_HASH_SLOTS - 1)];
        if (slot == 0) {
            slot = static_cast<uint16_t>(index + 1);
            return;
        }
        const KeywordEntry& other = table[slot - 1];
        if (other.length == entry.length && memcmp(other.name, entry.name, entry.length) == 0) return;
    }
}

void build_word_hash(const KeywordEntry* table, size_t count) {
    g_index.hashed = false;
    for (size_t i = 0; i < count; ++i) {
        if (word_only_name(table[i])) {
            hash_entry(table, static_cast<uint16_t>(i));
        } else if (table[i].length > 0 && table[i].length < KEYWORD_NAME_BYTES) {
            // An empty name never wins a longest match, so it needs no trying.
            if (g_index.odd_count == ODD_NAMES_MAX) return;
            g_index.odd[g_index.odd_count++] = static_cast<uint16_t>(i);
        }
    }
    g_index.hashed = true;
}

void prepare_lookup(EngineState* st) {
    if (!g_chars.ready) build_char_classes();
    build_first_index(KeywordTable, KEYWORD_COUNT);
    build_word_hash(KeywordTable, KEYWORD_COUNT);
    // Ready before the check: its message box pumps messages, and whatever
    // runs meanwhile may look words up again.
    g_index.ready = true;
    check_keyword_table(st, KeywordTable, KEYWORD_COUNT);
}

void show_violation(EngineState* st, const KeywordEntry& entry, const char* caption) {
    char name[KEYWORD_NAME_BYTES + 1];
    lstrcpynA(name, entry.name, sizeof name);  // a broken entry may lack its terminator
    if (st)
        MessageOrLog(st, nullptr, name, caption, MB_OK | MB_ICONSTOP);
    else
        MessageBoxA(nullptr, name, caption, MB_OK | MB_ICONSTOP);
}

// ------------------------------------------------------------------ matching

// The text's NUL differs from every name byte, so a short text ends the loop
// before it is overrun.
inline bool name_matches(const char* name, size_t length, const uint8_t* text, bool whole_word) {
    for (size_t i = 0; i < length; ++i)
        if (lower(text[i]) != static_cast<uint8_t>(name[i])) return false;
    return !whole_word || ends_name(text[length]);
}

struct Match {
    int index = -1;
    size_t length = 0;
};

inline void try_name(Match& best, int index, const char* name, size_t length, const uint8_t* text,
                     bool whole_word) {
    if (length > best.length && name_matches(name, length, text, whole_word)) {
        best.index = index;
        best.length = length;
    }
}

// Entries of outside tables are trusted no further than their name field.
inline void try_entry(Match& best, int index, const KeywordEntry& entry, const uint8_t* text,
                      bool whole_word) {
    if (entry.length < KEYWORD_NAME_BYTES) try_name(best, index, entry.name, entry.length, text, whole_word);
}

// The word-only entry that equals the whole word at text, or -1.
int hashed_word_entry(const uint8_t* text) {
    uint8_t lowered[KEYWORD_NAME_BYTES];
    size_t length = 0;
    while (!ends_name(text[length])) {
        if (length == KEYWORD_NAME_BYTES - 1) return -1;
        lowered[length] = lower(text[length]);
        ++length;
    }
    for (uint32_t h = word_hash(lowered, length);; ++h) {
        const uint16_t slot = g_index.word_hash[h & (WORD_HASH_SLOTS - 1)];
        if (slot == 0) return -1;
        const KeywordEntry& entry = KeywordTable[slot - 1];
        if (entry.length == length && memcmp(entry.name, lowered, length) == 0) return slot - 1;
    }
}

// The same result as trying every entry of the first byte's range in
// order: the hashed candidate and the odd names of that range, merged by
// index.
Match whole_word_match(const uint8_t* text, uint8_t c) {
    Match best;
    const int begin = g_index.first[c], end = g_index.first[c + 1];
    const int hashed = hashed_word_entry(text);
    bool hashed_tried = hashed < begin || hashed >= end;
    for (uint16_t k = 0; k < g_index.odd_count; ++k) {
        const int i = g_index.odd[k];
        if (i < begin || i >= end) continue;
        if (!hashed_tried && hashed < i) {
            try_entry(best, hashed, KeywordTable[hashed], text, true);
            hashed_tried = true;
        }
        try_entry(best, i, KeywordTable[i], text, true);
    }
    if (!hashed_tried) try_entry(best, hashed, KeywordTable[hashed], text, true);
    return best;
}

Match keyword_match(const uint8_t* text, bool whole_word) {
    Match best;
    uint8_t c = lower(text[0]);
    if (c >= 128) return best;
    if (whole_word && g_index.hashed) return whole_word_match(text, c);
    for (int i = g_index.first[c]; i < g_index.first[c + 1]; ++i) try_entry(best, i, KeywordTable[i], text, whole_word);
    return best;
}

Match user_function_match(EngineState* st, const uint8_t* text, bool whole_word) {
    Match best;
    if (!UserFunctions.active_count || !UserFunctions.name) return best;
    int count = UserFunctions.active_count(st);
    if (count > UDF_ENTRIES_MAX) count = UDF_ENTRIES_MAX;
    for (int i = 0; i < count; ++i) {
        uint16_t length = 0;
        if (const char* name = UserFunctions.name(st, i, &length)) try_name(best, i, name, length, text, whole_word);
    }
    return best;
}

Match extender_match(const uint8_t* text, bool whole_word) {
    Match best;
    int count = ExtenderFunctionCount < EXTENDER_FUNCTIONS ? ExtenderFunctionCount : EXTENDER_FUNCTIONS;
    for (int i = 0; i < count; ++i) try_entry(best, i, ExtenderFunctionTable[i], text, whole_word);
    return best;
}

// The host's table ends at its first entry with an empty name.
Match host_match(const EngineState* st, const uint8_t* text) {
    Match best;
    const KeywordEntry* table = static_cast<const KeywordEntry*>(st->host_keywords);
    if (!table) return best;
    for (int i = 0; i < HOST_ENTRIES_MAX && table[i].length != 0; ++i) try_entry(best, i, table[i], text, true);
    return best;
}

// ------------------------------------------------------------------ object expressions

// Length of the word at text, counted up to one past `limit`.
size_t measure_word(const uint8_t* text, size_t limit) {
    size_t n = text[0] == '@' ? 1 : 0;
    while (n <= limit && continues_word(text[n])) ++n;
    return n;
}

// The "]" that closes the "[" at `open`; brackets in quoted text do not
// count. Null when the line ends first.
const uint8_t* closing_bracket(const uint8_t* open) {
    int depth = 0;
    for (const uint8_t* q = open; *q; ++q) {
        uint8_t c = *q;
        if (c == '"' || c == '\'' || c == '`') {
            while (*++q && *q != c) {
            }
            if (!*q) return nullptr;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']' && --depth == 0) {
            return q;
        }
    }
    return nullptr;
}

// A variable whose elements can have members: an array, a VARIANT array, or
// a pointer to one of those.
bool names_subscripted_object(EngineState* st, const uint8_t* word, size_t length) {
    // The word's reading now depends on the variable, not on the text alone.
    st->lexer.uncacheable = 1;
    char name[VARIABLE_NAME_BYTES];
    for (size_t i = 0; i < length; ++i) name[i] = static_cast<char>(lower(word[i]));
    name[length] = '\0';
    uint16_t index = find_slot_lowered(st, name, length);
    if (index == NO_SLOT) return false;
    const ValuePayload& v = slot_at(st, index)->v;
    if (v.flags & VF_ARRAY) return true;
    if ((v.flags & VF_VARIANT) && (v.variant.vt & VT_ARRAY)) return true;
    if (!(v.flags & VF_STRING)) return false;
    const char* text = value_text(st, v);
    return text && is_variable_pointer_text(st, text);
}

// Length of the word at text when it starts an object expression ("obj." or
// "arr[...]."), else 0.
size_t object_word_length(EngineState* st, const uint8_t* text) {
    size_t length = measure_word(text, OBJECT_WORD_MAX);
    if (length == 0 || length > OBJECT_WORD_MAX) return 0;
    const uint8_t* next = text + length;
    if (*next == '.') return length;
    while (*next == ' ' || *next == '\t') ++next;
    if (*next != '[') return 0;
    const uint8_t* close = closing_bracket(next);
    if (!close || close[1] != '.') return 0;
    return names_subscripted_object(st, text, length) ? length : 0;
}

int found(EngineState* st, int id, size_t length, size_t* matched_length) {
    st->lexer.id = static_cast<uint16_t>(id);
    if (matched_length) *matched_length = length;
    return id;
}

}  // namespace

int LookupKeyword(EngineState* st, bool whole_word, const char* text, size_t* matched_length) {
    if (!g_index.ready) prepare_lookup(st);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);

    if (whole_word) {
        if (size_t length = object_word_length(st, p)) return found(st, KWID_OBJECT, length, matched_length);
    }
    // A built-in name hides a user-defined or extender function of the same name.
    Match match = keyword_match(p, whole_word);
    if (match.index >= 0) return found(st, match.index, match.length, matched_length);
    match = user_function_match(st, p, whole_word);
    if (match.index >= 0) return found(st, UDF_ID_BASE + match.index, match.length, matched_length);
    match = extender_match(p, whole_word);
    if (match.index >= 0) return found(st, EXTENDER_ID_BASE + match.index, match.length, matched_length);
    if (whole_word) {
        match = host_match(st, p);
        if (match.index >= 0) return found(st, HOST_ID_BASE + match.index, match.length, matched_length);
    }
    return -1;
}

int check_keyword_table(EngineState* st, const KeywordEntry* table, size_t count) {
    int violations = 0;
    bool order_shown = false;
    bool id_shown = false;
    // One box per kind at most: a shifted table would otherwise raise one per entry.
    for (size_t i = 0; i < count; ++i) {
        if (i > 0 && first_byte(table[i]) < first_byte(table[i - 1])) {
            ++violations;
            if (!order_shown) show_violation(st, table[i], "FSOP782");
            order_shown = true;
        }
        if (table[i].id != i) {
            ++violations;
            if (!id_shown) show_violation(st, table[i], "FNP983");
            id_shown = true;
        }
    }
    return violations;
}
