// The keyword table, the float and string constants, the extender function
// table, and the readers that find an entry by token id in whichever table
// its id range selects.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include "kestr44i.h"

struct EngineState;

constexpr int KEYWORD_COUNT = 625;
constexpr size_t KEYWORD_NAME_MAX = 24;  // longest name in the keyword table

// Token id ranges; each selects one table.
constexpr int HOST_ID_BASE = 1000;
constexpr int HOST_ID_LAST = 1998;
constexpr int UDF_ID_BASE = 4000;
constexpr int UDF_ID_LAST = 4998;
constexpr int EXTENDER_ID_BASE = 10000;
constexpr int EXTENDER_ID_LAST = 10500;
constexpr int EXTENDER_FUNCTIONS = EXTENDER_ID_LAST - EXTENDER_ID_BASE + 1;


constexpr uint8_t OWN_ARGUMENT_LIST = 0xFF;  // required count of a self-parsing function
constexpr int MAX_ARGUMENTS = 16;

// Ids that the lexer, the evaluator and the dispatcher name directly; the
// table itself is checked against them at compile time (ORDER KEYWORDS).
enum KeywordId : uint16_t {
    KWID_NOT = 0,             // !
    KWID_NOT_EQUAL = 1,       // !=
    KWID_AMPERSAND = 2,       // & (bitwise and, address-of)
    KWID_AND = 3,             // &&
    KWID_OPEN = 4,            // (
    KWID_CLOSE = 5,           // )
    KWID_STAR = 6,            // * (multiply, dereference)
    KWID_POWER = 7,           // **
    KWID_PLUS = 8,
    KWID_COMMA = 9,
    KWID_MINUS = 10,
    KWID_DIVIDE = 11,
    KWID_CONCAT = 12,         // :
    KWID_DOUBLE_COLON = 13,   // ::
    KWID_LESS = 14,
    KWID_SHIFT_LEFT = 15,
    KWID_LESS_EQUAL = 16,
    KWID_UNEQUAL = 17,        // <>
    KWID_ASSIGN = 18,         // =
    KWID_EQUAL = 19,          // ==
    KWID_GREATER = 20,
    KWID_GREATER_EQUAL = 21,
    KWID_SHIFT_RIGHT = 22,
    KWID_DDE_SERVER = 23,     // ?ddeserver
    KWID_GET_VIA_POINTER = 24,
    KWID_MAKE_POINTER = 25,
    KWID_OBJECT = 26,         // ?oleobject: the object expression
    KWID_SET_VIA_POINTER = 27,
    KWID_OPEN_BRACKET = 127,
    KWID_CLOSE_BRACKET = 128,
    KWID_XOR = 129,           // ^
    KWID_BY = 216,
    KWID_DROP = 290,          // the special forms (KT_SPECIAL) besides ?makepointer
    KWID_IS_DEFINED = 383,
    KWID_MOD = 409,
    KWID_OBJECT_TYPE_GET = 433,
    KWID_PTR_GLOBAL = 448,
    KWID_PTR_GLOBAL_DEFINE = 449,
    KWID_PTR_GLOBAL_TEST = 450,
    KWID_PTR_PERSISTENT = 451,
    KWID_VAR_TYPE = 570,
    KWID_BIT_OR = 622,        // |
    KWID_OR = 623,            // ||
    KWID_BIT_NOT = 624,       // ~
};

extern const KeywordEntry KeywordTable[KEYWORD_COUNT];

// Extender functions, shared by every engine state of the process and written
// only while an extender loads. The count sits beside the table rather than
// in EngineState because the table it counts is process-wide too.
extern KeywordEntry ExtenderFunctionTable[EXTENDER_FUNCTIONS];
extern int ExtenderFunctionCount;

// Constant encoding in the value field of a KT_CONSTANT entry: these tags in
// the upper 24 bits select a float or string constant by the low 5 bits;
// every other value is the integer itself.
constexpr uint32_t CONSTANT_TAG_MASK = 0xFFFFFF00;
constexpr uint32_t FLOAT_CONSTANT_TAG = 0xF0F0F000;
constexpr uint32_t STRING_CONSTANT_TAG = 0xFFF0F000;
constexpr uint32_t CONSTANT_INDEX_MASK = 0x1F;
constexpr int FLOAT_CONSTANTS = 20;
constexpr int STRING_CONSTANTS = 4;

extern const double FloatConstantTable[FLOAT_CONSTANTS];
extern const char* const StringConstantTable[STRING_CONSTANTS];

inline bool is_float_constant(uint32_t value) { return (value & CONSTANT_TAG_MASK) == FLOAT_CONSTANT_TAG; }
inline bool is_string_constant(uint32_t value) { return (value & CONSTANT_TAG_MASK) == STRING_CONSTANT_TAG; }
// An index past the table gives 0.0, as the language defines.
inline double float_constant(uint32_t value) {
    uint32_t index = value & CONSTANT_INDEX_MASK;
    return index < FLOAT_CONSTANTS ? FloatConstantTable[index] : 0.0;
}
inline const char* string_constant(uint32_t value) {
    uint32_t index = value & CONSTANT_INDEX_MASK;
    return index < STRING_CONSTANTS ? StringConstantTable[index] : "";
}

// User-defined functions (ids 4000..4998) reach the lookup and the readers
// through these hooks, which the user-defined-function code installs; while a
// hook is null no such function exists.
struct UserFunctionHooks {
    // How many function indexes the lookup tries; 0 while functions are not active.
    int (*active_count)(EngineState* st);
    // Lower-case name of function `index` and its length; null for a free index.
    const char* (*name)(EngineState* st, int index, uint16_t* length);
    // Declared parameters of function `index`, 0..16.
    int (*parameter_count)(EngineState* st, int index);
};
extern UserFunctionHooks UserFunctions;

// The entry of a host or extender id; null for user-defined functions and
// for ids outside every table.
const KeywordEntry* outer_keyword_entry(EngineState* st, int id);

// The entry behind a token id of a table range (see outer_keyword_entry).
inline const KeywordEntry* keyword_entry(EngineState* st, int id) {
    if (static_cast<unsigned>(id) < static_cast<unsigned>(KEYWORD_COUNT)) return &KeywordTable[id];
    return outer_keyword_entry(st, id);
}

inline bool is_user_function_id(int id) { return id >= UDF_ID_BASE && id <= UDF_ID_LAST; }

// Readers for user-defined function ids: a function of their own parameter
// count, no optional arguments, every argument AK_ANY.
uint32_t user_function_value(EngineState* st, int id);
const char* user_function_name(EngineState* st, int id, uint16_t* length);

inline uint32_t keyword_type(EngineState* st, int id) {
    if (const KeywordEntry* entry = keyword_entry(st, id)) return entry->type;
    return is_user_function_id(id) ? KT_FUNCTION : KT_NONE;
}

inline uint32_t keyword_value(EngineState* st, int id) {
    if (const KeywordEntry* entry = keyword_entry(st, id)) return entry->value;
    return user_function_value(st, id);
}

// Argument kinds 1-16 as one word, argument 1 in the lowest 4 bits.
inline uint64_t keyword_kinds(EngineState* st, int id) {
    if (const KeywordEntry* entry = keyword_entry(st, id))
        return static_cast<uint64_t>(entry->kinds_high) << 32 | entry->kinds_low;
    return is_user_function_id(id) ? ~0ull : 0;
}

// Kind of argument `position`, counted from 1.
inline ArgKind argument_kind(uint64_t kinds, int position) {
    return static_cast<ArgKind>((kinds >> (4 * (position - 1))) & 0xF);
}

inline int required_arguments(EngineState* st, int id) { return keyword_value(st, id) & 0xFF; }
inline int optional_arguments(EngineState* st, int id) { return (keyword_value(st, id) >> 8) & 0xFF; }

// Empty text and length 0 for an id outside every table.
inline const char* keyword_name(EngineState* st, int id) {
    if (const KeywordEntry* entry = keyword_entry(st, id)) return entry->name;
    uint16_t length;
    return user_function_name(st, id, &length);
}

inline uint16_t keyword_length(EngineState* st, int id) {
    if (const KeywordEntry* entry = keyword_entry(st, id)) return entry->length;
    uint16_t length;
    user_function_name(st, id, &length);
    return length;
}
