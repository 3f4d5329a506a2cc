// The keyword table built at compile time from keywords.def, its anchors,
// the constant tables, the extender function table and the readers of the
// host, extender and user-defined ranges.
#include "lang/keyword_table.h"

#include "base/engine_state.h"

// Never defined: a row of keywords.def that reaches it stops the compile,
// since the table must be a constant expression.
void malformed_keyword_row();

namespace {

constexpr uint32_t kind_code(char letter) {
    switch (letter) {
    case 'I': return AK_INTEGER;
    case 'S': return AK_ANSI;
    case 'F': return AK_FLOAT;
    case 'A': return AK_ARRAY;
    case 'V': return AK_VARIANT;
    case 'W': return AK_WIDE;
    case 'T': return AK_TEXT;
    case 'N': return AK_NT_TEXT;
    case 'M': return AK_MIXED_TEXT;
    case 'X': return AK_ANY;
    default: malformed_keyword_row(); return 0;
    }
}

constexpr size_t text_length(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

constexpr KeywordEntry make_entry(int id, KeywordType type, const char* name, uint32_t value,
                                  const char* kinds = "") {
    KeywordEntry entry{};
    entry.id = static_cast<uint32_t>(id);
    entry.type = type;
    entry.value = value;
    size_t length = text_length(name);
    if (length == 0 || length > KEYWORD_NAME_MAX) malformed_keyword_row();
    for (size_t i = 0; i < length; ++i) entry.name[i] = name[i];
    entry.length = static_cast<uint16_t>(length);
    for (size_t i = 0; kinds[i]; ++i) {
        if (i >= MAX_ARGUMENTS) malformed_keyword_row();
        uint32_t code = kind_code(kinds[i]);
        if (i < 8)
            entry.kinds_low |= code << (4 * i);
        else
            entry.kinds_high |= code << (4 * (i - 8));
    }
    return entry;
}

constexpr KeywordEntry function_entry(int id, const char* name, int required, int optional,
                                      const char* kinds) {
    if (text_length(kinds) != static_cast<size_t>(required + optional)) malformed_keyword_row();
    return make_entry(id, KT_FUNCTION, name, static_cast<uint32_t>(required | optional << 8), kinds);
}

// Integers are written as the language lists them, signed or as 32-bit hex.
constexpr KeywordEntry integer_entry(int id, const char* name, int64_t value) {
    if (value < INT32_MIN || value > UINT32_MAX) malformed_keyword_row();
    return make_entry(id, KT_CONSTANT, name, static_cast<uint32_t>(value));
}

constexpr KeywordEntry tagged_entry(int id, const char* name, uint32_t tag, int index, int limit) {
    if (index < 0 || index >= limit) malformed_keyword_row();
    return make_entry(id, KT_CONSTANT, name, tag | static_cast<uint32_t>(index));
}

constexpr int kFirstCounter = __COUNTER__;

}  // namespace

// A row's id is its position: __COUNTER__ advances once per row. Each row
// brings its own comma, so keywords.def stays one plain call per line.
#define NEXT_ID (__COUNTER__ - kFirstCounter - 1)
#define KW_OP(name, kind) make_entry(NEXT_ID, KT_##kind, name, 0),
#define KW_STRUCT(name) make_entry(NEXT_ID, KT_STRUCTURE, name, 0),
#define KW_SPECIAL(name) make_entry(NEXT_ID, KT_SPECIAL, name, 0),
#define KW_STMT(name) make_entry(NEXT_ID, KT_STATEMENT, name, 0),
#define KW_FN(name, required, optional, kinds) function_entry(NEXT_ID, name, required, optional, kinds),
#define KW_OWN(name) make_entry(NEXT_ID, KT_FUNCTION, name, OWN_ARGUMENT_LIST),
#define KW_INT(name, value) integer_entry(NEXT_ID, name, value),
#define KW_FLOAT(name, index) tagged_entry(NEXT_ID, name, FLOAT_CONSTANT_TAG, index, FLOAT_CONSTANTS),
#define KW_STR(name, index) tagged_entry(NEXT_ID, name, STRING_CONSTANT_TAG, index, STRING_CONSTANTS),

constexpr KeywordEntry KeywordTable[KEYWORD_COUNT] = {
#include "lang/keywords.def"
};

#undef NEXT_ID
#include "lang/keywords_undef.h"

// ------------------------------------------------------------------ anchors
// ORDER KEYWORDS: these ids are part of the language (scripts and extenders
// see them), so a row added or moved in keywords.def must not shift them.

namespace {

constexpr bool same_name(const KeywordEntry& entry, const char* name) {
    size_t i = 0;
    for (; name[i]; ++i)
        if (entry.name[i] != name[i]) return false;
    return entry.name[i] == '\0';
}

constexpr int id_of(const char* name) {
    for (int i = 0; i < KEYWORD_COUNT; ++i)
        if (same_name(KeywordTable[i], name)) return i;
    return -1;
}

constexpr int count_of_type(uint32_t type) {
    int count = 0;
    for (const KeywordEntry& entry : KeywordTable) count += entry.type == type;
    return count;
}

// The lookup's own start-up check repeats this at run time, as the language
// requires; here a broken table does not even build.
constexpr bool grouped_and_numbered() {
    for (int i = 0; i < KEYWORD_COUNT; ++i) {
        if (KeywordTable[i].id != static_cast<uint32_t>(i)) return false;
        if (i > 0 && static_cast<uint8_t>(KeywordTable[i].name[0]) <
                         static_cast<uint8_t>(KeywordTable[i - 1].name[0]))
            return false;
    }
    return true;
}

constexpr bool name_before(const KeywordEntry& a, const KeywordEntry& b) {
    for (size_t i = 0;; ++i) {
        uint8_t x = static_cast<uint8_t>(a.name[i]), y = static_cast<uint8_t>(b.name[i]);
        if (x != y) return x < y;
        if (x == 0) return false;
    }
}

// The lookup needs only the grouping, but the ids are those of byte order, so
// a row in the wrong place within its group would shift ids all the same.
constexpr bool in_byte_order() {
    const int and_id = id_of("binaryand");
    for (int i = 1; i < KEYWORD_COUNT; ++i) {
        const bool documented_pair = i == and_id || i == and_id + 1;
        if (!documented_pair && !name_before(KeywordTable[i - 1], KeywordTable[i])) return false;
    }
    return name_before(KeywordTable[and_id - 1], KeywordTable[and_id + 1]) &&
           name_before(KeywordTable[and_id + 1], KeywordTable[and_id]) &&
           name_before(KeywordTable[and_id], KeywordTable[and_id + 2]);
}

}  // namespace

static_assert(in_byte_order(), "byte order of the names, binaryand before binaryallocarray");
static_assert(sizeof(KeywordTable) / sizeof(KeywordTable[0]) == KEYWORD_COUNT, "table size");
static_assert(__COUNTER__ - kFirstCounter - 1 == KEYWORD_COUNT, "keywords.def must hold 625 rows");
static_assert(grouped_and_numbered(), "entries grouped by first byte, id == index");

static_assert(count_of_type(KT_BINARY) == 18, "binary operators");
static_assert(count_of_type(KT_UNARY) == 6, "operators that may be prefixes");
static_assert(count_of_type(KT_FUNCTION) == 460, "built-in functions");
static_assert(count_of_type(KT_CONSTANT) == 99, "constants");
static_assert(count_of_type(KT_STATEMENT) == 5, "statement-like functions");
static_assert(count_of_type(KT_COMPARISON) == 7, "comparison operators");
static_assert(count_of_type(KT_SPECIAL) == 9, "special forms");
static_assert(count_of_type(KT_STRUCTURE) == 21, "structure keywords");

static_assert(id_of("!") == KWID_NOT && id_of("!=") == KWID_NOT_EQUAL, "ORDER KEYWORDS");
static_assert(id_of("&") == KWID_AMPERSAND && id_of("&&") == KWID_AND, "ORDER KEYWORDS");
static_assert(id_of("(") == KWID_OPEN && id_of(")") == KWID_CLOSE, "ORDER KEYWORDS");
static_assert(id_of("*") == KWID_STAR && id_of("**") == KWID_POWER, "ORDER KEYWORDS");
static_assert(id_of("+") == KWID_PLUS && id_of(",") == KWID_COMMA, "ORDER KEYWORDS");
static_assert(id_of("-") == KWID_MINUS && id_of("/") == KWID_DIVIDE, "ORDER KEYWORDS");
static_assert(id_of(":") == KWID_CONCAT && id_of("::") == KWID_DOUBLE_COLON, "ORDER KEYWORDS");
static_assert(id_of("<") == KWID_LESS && id_of("<<") == KWID_SHIFT_LEFT, "ORDER KEYWORDS");
static_assert(id_of("<=") == KWID_LESS_EQUAL && id_of("<>") == KWID_UNEQUAL, "ORDER KEYWORDS");
static_assert(id_of("=") == KWID_ASSIGN && id_of("==") == KWID_EQUAL, "ORDER KEYWORDS");
static_assert(id_of(">") == KWID_GREATER && id_of(">=") == KWID_GREATER_EQUAL, "ORDER KEYWORDS");
static_assert(id_of(">>") == KWID_SHIFT_RIGHT, "ORDER KEYWORDS");
static_assert(id_of("?ddeserver") == KWID_DDE_SERVER, "ORDER KEYWORDS");
static_assert(id_of("?getviapointer") == KWID_GET_VIA_POINTER, "ORDER KEYWORDS");
static_assert(id_of("?makepointer") == KWID_MAKE_POINTER, "ORDER KEYWORDS");
static_assert(id_of("?oleobject") == KWID_OBJECT, "ORDER KEYWORDS");
static_assert(id_of("?setviapointer") == KWID_SET_VIA_POINTER, "ORDER KEYWORDS");
static_assert(id_of("[") == KWID_OPEN_BRACKET && id_of("]") == KWID_CLOSE_BRACKET, "ORDER KEYWORDS");
static_assert(id_of("^") == KWID_XOR, "ORDER KEYWORDS");
static_assert(id_of("by") == KWID_BY && id_of("mod") == KWID_MOD, "ORDER KEYWORDS");
static_assert(id_of("drop") == KWID_DROP && id_of("isdefined") == KWID_IS_DEFINED, "ORDER KEYWORDS");
static_assert(id_of("objecttypeget") == KWID_OBJECT_TYPE_GET && id_of("vartype") == KWID_VAR_TYPE,
              "ORDER KEYWORDS");
static_assert(id_of("ptrglobal") == KWID_PTR_GLOBAL && id_of("ptrglobaldefine") == KWID_PTR_GLOBAL_DEFINE,
              "ORDER KEYWORDS");
static_assert(id_of("ptrglobaltest") == KWID_PTR_GLOBAL_TEST && id_of("ptrpersistent") == KWID_PTR_PERSISTENT,
              "ORDER KEYWORDS");
static_assert(id_of("|") == KWID_BIT_OR && id_of("||") == KWID_OR, "ORDER KEYWORDS");
static_assert(id_of("~") == KWID_BIT_NOT, "ORDER KEYWORDS");
static_assert(id_of("a\x01unnamed") == 130 && id_of("isn\x01unnamed") == 387, "ORDER KEYWORDS");
static_assert(id_of("binaryand") + 1 == id_of("binaryallocarray"), "the one pair out of byte order");

// ------------------------------------------------------------------ constants

// @deg2rad is defined with these 15 digits, not as the full quotient of pi
// and 180; results built on it differ in the last places, as they always have.
const double FloatConstantTable[FLOAT_CONSTANTS] = {
    3.141592653589793,   // @pi
    2.718281828459045,   // @e
    0.017453292519943,   // @deg2rad
    57.29577951308232,   // @rad2deg
    6.6256e-34,          // @planckjoules
    6.6252e-27,          // @planckergs
    32.174,              // @gftsec
    9.80665,             // @gmtsec
    1.66043e-27,         // @amc
    6.02252e+23,         // @avogadro
    1.38054e-23,         // @boltzmann
    8.8541853e-12,       // @electric
    0.5772156649015339,  // @eulers
    96487.0,             // @faraday
    1.618033988749895,   // @goldenratio
    6.67e-11,            // @gravitation
    299792500.0,         // @lightmtps
    1.256637,            // @magfield
    206.265,             // @parsec
    186272.0,            // @lightmps
};

const char* const StringConstantTable[STRING_CONSTANTS] = {"\r\n", "\t", "\r", "\n"};

// ------------------------------------------------------------------ outer tables

KeywordEntry ExtenderFunctionTable[EXTENDER_FUNCTIONS];
int ExtenderFunctionCount;

UserFunctionHooks UserFunctions;

const KeywordEntry* outer_keyword_entry(EngineState* st, int id) {
    if (id >= EXTENDER_ID_BASE && id <= EXTENDER_ID_LAST) return &ExtenderFunctionTable[id - EXTENDER_ID_BASE];
    if (id >= HOST_ID_BASE && id <= HOST_ID_LAST && st->host_keywords)
        return static_cast<const KeywordEntry*>(st->host_keywords) + (id - HOST_ID_BASE);
    return nullptr;
}

uint32_t user_function_value(EngineState* st, int id) {
    if (!is_user_function_id(id) || !UserFunctions.parameter_count) return 0;
    return static_cast<uint32_t>(UserFunctions.parameter_count(st, id - UDF_ID_BASE)) & 0xFF;
}

const char* user_function_name(EngineState* st, int id, uint16_t* length) {
    *length = 0;
    if (!is_user_function_id(id) || !UserFunctions.name) return "";
    const char* name = UserFunctions.name(st, id - UDF_ID_BASE, length);
    if (name) return name;
    *length = 0;
    return "";
}
