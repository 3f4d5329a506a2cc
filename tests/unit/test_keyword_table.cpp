// Keyword table and LookupKeyword: argument descriptions, constants, longest
// match and the word rule, object expressions, the outer tables and the
// start-up check.
#include <string.h>
#include <string>
#include <vector>
#include "engine_fixture.h"
#include "lang/keyword_lookup.h"
#include "lang/keyword_table.h"

namespace {

// Independent of the lookup: a plain scan by name.
int id_named(const char* name) {
    for (int i = 0; i < KEYWORD_COUNT; ++i)
        if (strcmp(KeywordTable[i].name, name) == 0) return i;
    return -1;
}

KeywordEntry entry_for(const char* name, uint32_t type, uint32_t value, uint32_t low = 0, uint32_t high = 0) {
    KeywordEntry entry{};
    entry.type = type;
    entry.value = value;
    entry.kinds_low = low;
    entry.kinds_high = high;
    entry.length = static_cast<uint16_t>(strlen(name));
    strcpy(entry.name, name);
    return entry;
}

class KeywordLookup : public EngineTest {
protected:
    int word(const char* text, size_t* length = nullptr) { return LookupKeyword(st, true, text, length); }
    int op(const char* text, size_t* length = nullptr) { return LookupKeyword(st, false, text, length); }

    // The extender and user-function tables are put back by the unit tests' main.
    void TearDown() override {
        st->host_keywords = nullptr;
        EngineTest::TearDown();
    }
};

// ------------------------------------------------------------------ table

TEST(KeywordTable, ConstantEncoding) {
    EXPECT_EQ(float_constant(FLOAT_CONSTANT_TAG | 19), 186272.0);
    EXPECT_EQ(float_constant(FLOAT_CONSTANT_TAG | 20), 0.0);
    EXPECT_EQ(float_constant(FLOAT_CONSTANT_TAG | 31), 0.0);
    EXPECT_TRUE(is_float_constant(0xF0F0F0FFu));
    EXPECT_FALSE(is_float_constant(0xF0F0F100u));
    EXPECT_FALSE(is_string_constant(0xFFFFFFFFu));  // @hidden is the integer -1
    EXPECT_FALSE(is_float_constant(0x3B9ACA01u));
    EXPECT_STREQ(string_constant(STRING_CONSTANT_TAG | 0), "\r\n");
    EXPECT_STREQ(string_constant(STRING_CONSTANT_TAG | 3), "\n");
    EXPECT_STREQ(string_constant(STRING_CONSTANT_TAG | 4), "");
}

// ------------------------------------------------------------------ constants

TEST_F(KeywordLookup, ConstantsAnyCase) {
    int pi = word("@PI");
    EXPECT_EQ(pi, word("@pi"));
    ASSERT_GE(pi, 0);
    EXPECT_EQ(keyword_type(st, pi), KT_CONSTANT);
    EXPECT_EQ(float_constant(keyword_value(st, pi)), 3.141592653589793);
    // The 15-digit value, not pi / 180.
    EXPECT_EQ(float_constant(keyword_value(st, word("@Deg2Rad"))), 0.017453292519943);
    EXPECT_EQ(float_constant(keyword_value(st, word("@lightmtps"))), 299792500.0);
    EXPECT_EQ(float_constant(keyword_value(st, word("@planckjoules"))), 6.6256e-34);
    EXPECT_EQ(static_cast<int32_t>(keyword_value(st, word("@hidden"))), -1);
    EXPECT_EQ(keyword_value(st, word("@regclasses")), 0x80000000u);
    EXPECT_EQ(keyword_value(st, word("@regusers")), 0x80000003u);
    EXPECT_EQ(keyword_value(st, word("@wholesection")), 692837u);
    EXPECT_STREQ(string_constant(keyword_value(st, word("@crlf"))), "\r\n");
    EXPECT_STREQ(string_constant(keyword_value(st, word("@tab"))), "\t");
    EXPECT_EQ(word("@pix"), -1);
}

// ------------------------------------------------------------------ matching

TEST_F(KeywordLookup, LongestOperatorMatch) {
    size_t length = 0;
    EXPECT_EQ(op("<=1", &length), KWID_LESS_EQUAL);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(op("< =", &length), KWID_LESS);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(op("<>"), KWID_UNEQUAL);
    EXPECT_EQ(op("=<"), KWID_ASSIGN);
    EXPECT_EQ(op("**2"), KWID_POWER);
    EXPECT_EQ(op("::"), KWID_DOUBLE_COLON);
    EXPECT_EQ(op("|"), KWID_BIT_OR);
    EXPECT_EQ(op("||x"), KWID_OR);
    EXPECT_EQ(op("~"), KWID_BIT_NOT);  // the last entry
    EXPECT_EQ(op("["), KWID_OPEN_BRACKET);
    EXPECT_EQ(op("^"), KWID_XOR);
    EXPECT_EQ(op("?oleobject("), KWID_OBJECT);
    EXPECT_EQ(op("`text`"), -1);
    EXPECT_EQ(op("#"), -1);
    EXPECT_EQ(op("\xC4"), -1);
    EXPECT_EQ(op(""), -1);
}

TEST_F(KeywordLookup, WholeWordRule) {
    size_t length = 0;
    EXPECT_EQ(word("modx"), -1);
    EXPECT_EQ(word("mod(", &length), KWID_MOD);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(word("MOD 3"), KWID_MOD);
    EXPECT_EQ(op("modx"), KWID_MOD);
    EXPECT_EQ(word("by"), KWID_BY);
    EXPECT_EQ(word("StrSub(a,1,2)", &length), id_named("strsub"));
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(word("strsubwild("), id_named("strsubwild"));
    EXPECT_EQ(word("strsub_x"), -1);
    EXPECT_EQ(word("strsub@"), -1);
    EXPECT_EQ(word("strsub1"), -1);
    EXPECT_EQ(word("abs"), 131);
    EXPECT_EQ(word("yields"), id_named("yields"));
    // The unreachable entries stay unreachable.
    EXPECT_EQ(word("a"), -1);
    EXPECT_EQ(word("isn "), -1);
}

TEST_F(KeywordLookup, StoresIdOnlyWhenFound) {
    st->lexer.id = 777;
    EXPECT_EQ(word("nothing"), -1);
    EXPECT_EQ(st->lexer.id, 777);
    EXPECT_EQ(word("while"), id_named("while"));
    EXPECT_EQ(st->lexer.id, id_named("while"));
}

// ------------------------------------------------------------------ object expressions

TEST_F(KeywordLookup, DottedWordIsObject) {
    size_t length = 0;
    EXPECT_EQ(word("obj.name", &length), KWID_OBJECT);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(word("strlen.x"), KWID_OBJECT);
    EXPECT_EQ(word("obj .name"), -1);
    EXPECT_EQ(op("obj.name"), -1);

    std::string thirty(30, 'q');
    EXPECT_EQ(word((thirty + ".x").c_str(), &length), KWID_OBJECT);
    EXPECT_EQ(length, 30u);
    // 31 characters skip the test; nothing is found by longest match.
    EXPECT_EQ(word((thirty + "q.x").c_str()), -1);
    // A keyword that begins a long word still needs the word to end there.
    EXPECT_EQ(word(("strlen" + std::string(25, 'z') + ".x").c_str()), -1);
}

TEST_F(KeywordLookup, SubscriptedArrayVariableIsObject) {
    uint16_t index = create_slot(st, "arr", 3);
    ASSERT_NE(index, NO_SLOT);
    VariableSlot* slot = slot_at(st, index);
    slot->v.flags = VF_ARRAY;

    size_t length = 0;
    EXPECT_EQ(word("arr[1].name", &length), KWID_OBJECT);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(word("ARR[1].name"), KWID_OBJECT);
    EXPECT_EQ(word("arr \t[1].name"), KWID_OBJECT);
    EXPECT_EQ(word("arr[b[1]].name"), KWID_OBJECT);
    EXPECT_EQ(word("arr[\"]\"].x"), KWID_OBJECT);
    EXPECT_EQ(word("arr[']'].x"), KWID_OBJECT);
    EXPECT_EQ(word("arr[`[`].x"), KWID_OBJECT);
    EXPECT_EQ(word("arr[1]"), -1);
    EXPECT_EQ(word("arr[1] .x"), -1);
    EXPECT_EQ(word("arr[b[1].x"), -1);
    EXPECT_EQ(word("arr[\"].x"), -1);
    EXPECT_EQ(word("other[1].x"), -1);

    slot->v.flags = VF_VARIANT;
    slot->v.variant.vt = VT_ARRAY | VT_VARIANT;
    EXPECT_EQ(word("arr[1].x"), KWID_OBJECT);
    slot->v.variant.vt = VT_I4;
    EXPECT_EQ(word("arr[1].x"), -1);
    slot->v.variant.vt = VT_EMPTY;

    slot->v.flags = VF_INT;
    slot->v.integer = 5;
    EXPECT_EQ(word("arr[1].x"), -1);
}

// ------------------------------------------------------------------ outer tables

TEST_F(KeywordLookup, HostTableInWordModeOnly) {
    KeywordEntry host[5] = {
        entry_for("stdout", KT_FUNCTION, 1, AK_ANSI),
        entry_for("stdoutw", KT_FUNCTION, 0x0201, AK_WIDE | AK_INTEGER << 4 | AK_ANY << 8),
        // Ten arguments: kinds 9 and 10 come from the high word.
        entry_for("manyargs", KT_FUNCTION, 10, 0x11111111u, AK_FLOAT | AK_ARRAY << 4),
        entry_for("", 0, 0),
        entry_for("zzz", KT_FUNCTION, 0),  // past the end marker
    };
    st->host_keywords = host;

    size_t length = 0;
    EXPECT_EQ(word("StdOut(x)", &length), HOST_ID_BASE);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(word("stdoutw(x)"), HOST_ID_BASE + 1);
    EXPECT_EQ(word("stdoutx"), -1);
    EXPECT_EQ(op("stdout"), -1);

    EXPECT_EQ(keyword_type(st, HOST_ID_BASE + 1), KT_FUNCTION);
    EXPECT_EQ(required_arguments(st, HOST_ID_BASE + 1), 1);
    EXPECT_EQ(optional_arguments(st, HOST_ID_BASE + 1), 2);
    EXPECT_EQ(argument_kind(keyword_kinds(st, HOST_ID_BASE + 1), 3), AK_ANY);
    EXPECT_STREQ(keyword_name(st, HOST_ID_BASE + 1), "stdoutw");
    EXPECT_EQ(keyword_length(st, HOST_ID_BASE + 1), 7);

    uint64_t kinds = keyword_kinds(st, HOST_ID_BASE + 2);
    EXPECT_EQ(argument_kind(kinds, 8), AK_ANSI);
    EXPECT_EQ(argument_kind(kinds, 9), AK_FLOAT);
    EXPECT_EQ(argument_kind(kinds, 10), AK_ARRAY);
    EXPECT_EQ(word("zzz"), -1);
}

TEST_F(KeywordLookup, BuiltInsHideOuterNames) {
    ExtenderFunctionTable[0] = entry_for("strlen", KT_FUNCTION, 1);
    ExtenderFunctionTable[1] = entry_for("xfunc", KT_FUNCTION, 0x0101);
    ExtenderFunctionTable[2] = entry_for("xfuncplus", KT_STATEMENT, 0);
    ExtenderFunctionCount = 3;
    KeywordEntry host[2] = {entry_for("strlen", KT_FUNCTION, 1), entry_for("", 0, 0)};
    st->host_keywords = host;

    EXPECT_EQ(word("strlen(a)"), id_named("strlen"));
    size_t length = 0;
    EXPECT_EQ(word("XFuncPlus", &length), EXTENDER_ID_BASE + 2);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(word("xfunc(1)"), EXTENDER_ID_BASE + 1);
    EXPECT_EQ(optional_arguments(st, EXTENDER_ID_BASE + 1), 1);
    EXPECT_EQ(keyword_type(st, EXTENDER_ID_BASE + 2), KT_STATEMENT);

    ExtenderFunctionCount = 1;  // entries past the count are not live
    EXPECT_EQ(word("xfunc(1)"), -1);
}

namespace udf {
const char* const kNames[] = {"myfunc", "xfunc", "strlen"};
int active(EngineState*) { return 3; }
const char* name(EngineState*, int index, uint16_t* length) {
    *length = static_cast<uint16_t>(strlen(kNames[index]));
    return kNames[index];
}
int parameters(EngineState*, int index) { return index + 2; }
}  // namespace udf

TEST_F(KeywordLookup, UserFunctionsThroughHooks) {
    EXPECT_EQ(word("myfunc(1)"), -1);
    EXPECT_EQ(keyword_type(st, UDF_ID_BASE), KT_FUNCTION);
    EXPECT_EQ(keyword_length(st, UDF_ID_BASE), 0);

    UserFunctions = UserFunctionHooks{udf::active, udf::name, udf::parameters};
    ExtenderFunctionTable[0] = entry_for("xfunc", KT_FUNCTION, 0);
    ExtenderFunctionCount = 1;

    EXPECT_EQ(word("MyFunc(1, 2)"), UDF_ID_BASE);
    EXPECT_EQ(word("xfunc()"), UDF_ID_BASE + 1);  // before the extender table
    EXPECT_EQ(word("strlen(s)"), id_named("strlen"));
    EXPECT_EQ(word("myfunc2"), -1);

    EXPECT_EQ(required_arguments(st, UDF_ID_BASE + 1), 3);
    EXPECT_EQ(optional_arguments(st, UDF_ID_BASE + 1), 0);
    EXPECT_EQ(argument_kind(keyword_kinds(st, UDF_ID_BASE), 16), AK_ANY);
    EXPECT_STREQ(keyword_name(st, UDF_ID_BASE), "myfunc");
    EXPECT_EQ(keyword_length(st, UDF_ID_BASE), 6);
    EXPECT_EQ(keyword_type(st, 2000), KT_NONE);
}

// ------------------------------------------------------------------ start-up check

TEST_F(KeywordLookup, CheckAcceptsRealTable) {
    st->silent_caption[0] = '\0';
    EXPECT_EQ(check_keyword_table(st, KeywordTable, KEYWORD_COUNT), 0);
    EXPECT_STREQ(st->silent_caption, "");
}

TEST_F(KeywordLookup, CheckReportsWrongId) {
    std::vector<KeywordEntry> copy(KeywordTable, KeywordTable + KEYWORD_COUNT);
    copy[300].id = 7;
    EXPECT_EQ(check_keyword_table(st, copy.data(), copy.size()), 1);
    EXPECT_STREQ(st->silent_caption, "FNP983");
    EXPECT_STREQ(st->silent_text, KeywordTable[300].name);
}

TEST_F(KeywordLookup, CheckReportsOrder) {
    std::vector<KeywordEntry> copy(KeywordTable, KeywordTable + KEYWORD_COUNT);
    std::swap(copy[KWID_OPEN_BRACKET], copy[KWID_CLOSE_BRACKET]);
    copy[KWID_OPEN_BRACKET].id = KWID_OPEN_BRACKET;
    copy[KWID_CLOSE_BRACKET].id = KWID_CLOSE_BRACKET;
    EXPECT_EQ(check_keyword_table(st, copy.data(), copy.size()), 1);
    EXPECT_STREQ(st->silent_caption, "FSOP782");
    EXPECT_STREQ(st->silent_text, "[");
}

TEST_F(KeywordLookup, CheckShowsFirstViolationOfEachKindOnly) {
    std::vector<KeywordEntry> copy(KeywordTable, KeywordTable + KEYWORD_COUNT);
    // Ids follow the entries: 127 ("]") and 128 ("[") are both wrong, and
    // "[" is out of order.
    std::swap(copy[KWID_OPEN_BRACKET], copy[KWID_CLOSE_BRACKET]);
    EXPECT_EQ(check_keyword_table(st, copy.data(), copy.size()), 3);
    // The id box went out for "]"; the later one for "[" was held back.
    EXPECT_STREQ(st->silent_caption, "FSOP782");
    EXPECT_STREQ(st->silent_text, "[");
}

}  // namespace
