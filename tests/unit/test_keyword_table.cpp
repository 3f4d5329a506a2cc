// LookupKeyword: the word rule, object expressions, the outer tables and
// their argument descriptions, and the start-up check of the table.
#include <string.h>
#include <string>
#include <vector>
#include "builtin_fixture.h"
#include "lang/keyword_lookup.h"
#include "lang/keyword_table.h"

namespace {

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

// ------------------------------------------------------------------ matching

TEST_F(KeywordLookup, WholeWordRule) {
    size_t length = 0;
    EXPECT_EQ(word("mod(", &length), KWID_MOD);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(op("modx"), KWID_MOD);
    EXPECT_EQ(word("StrSub(a,1,2)", &length), id_named("strsub"));
    EXPECT_EQ(length, 6u);
    // "a" and "isn" are unreachable entries and stay unreachable.
    for (const auto& c : std::initializer_list<std::pair<const char*, int>>{
             {"modx", -1}, {"MOD 3", KWID_MOD}, {"by", KWID_BY}, {"strsubwild(", id_named("strsubwild")},
             {"strsub_x", -1}, {"strsub@", -1}, {"strsub1", -1}, {"abs", 131}, {"yields", id_named("yields")},
             {"a", -1}, {"isn ", -1}})
        EXPECT_EQ(word(c.first), c.second) << c.first;
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
    for (const char* text : {"ARR[1].name", "arr \t[1].name", "arr[b[1]].name", "arr[\"]\"].x", "arr[']'].x",
                             "arr[`[`].x"})
        EXPECT_EQ(word(text), KWID_OBJECT) << text;
    for (const char* text : {"arr[1]", "arr[1] .x", "arr[b[1].x", "arr[\"].x", "other[1].x"})
        EXPECT_EQ(word(text), -1) << text;

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

TEST_F(KeywordLookup, CheckReportsWrongId) {
    std::vector<KeywordEntry> copy(KeywordTable, KeywordTable + KEYWORD_COUNT);
    copy[300].id = 7;
    EXPECT_EQ(check_keyword_table(st, copy.data(), copy.size()), 1);
    EXPECT_STREQ(st->silent_caption, "FNP983");
    EXPECT_STREQ(st->silent_text, KeywordTable[300].name);
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
