// Splitting a parameter line into param0, param1 ...

#include "engine_fixture.h"

#include <string>
#include "base/heap.h"
#include "lang/params.h"

namespace {

class Params : public EngineTest {
protected:
    const VariableSlot* param(const char* name) {
        uint16_t index = FindSlot(st, name);
        return index == NO_SLOT ? nullptr : slot_at(st, index);
    }

};

TEST_F(Params, QuotedAndUnquotedPartsJoin) {
    EXPECT_EQ(SetScriptParameters(st, "\"a b\"c x\"y z\"w `q ''r` \"\" \"open to end"), 5);
    const char* want[] = {"a bc", "xy zw", "q ''r", "", "open to end"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(text_var(("param" + std::to_string(i + 1)).c_str()), want[i]) << i + 1;
}

TEST_F(Params, FewerParametersDeleteTheSurplus) {
    ASSERT_EQ(SetScriptParameters(st, "a b c"), 3);
    const uint16_t used = st->table.used;
    EXPECT_EQ(SetScriptParameters(st, "x"), 1);
    EXPECT_EQ(int_var("param0"), 1);
    EXPECT_EQ(text_var("param1"), "x");
    EXPECT_EQ(param("param2"), nullptr);
    EXPECT_EQ(param("param3"), nullptr);
    // param3 held the top slot; param2 below it stays counted as empty.
    EXPECT_EQ(st->table.used, used - 1);
}

TEST_F(Params, OnlyAnIntegerParam0DeletesOldParameters) {
    ASSERT_TRUE(set_variable_text(st, "param0", "2"));
    ASSERT_TRUE(set_variable_text(st, "param1", "old1"));
    ASSERT_TRUE(set_variable_text(st, "param2", "old2"));
    EXPECT_EQ(SetScriptParameters(st, "new"), 1);
    EXPECT_EQ(text_var("param1"), "new");
    EXPECT_EQ(text_var("param2"), "old2");

    // A huge count must not make the deletion crawl through every number.
    ASSERT_TRUE(set_variable_int(st, "param0", 2000000000));
    ASSERT_TRUE(set_variable_text(st, "param7", "old7"));
    EXPECT_EQ(SetScriptParameters(st, ""), 0);
    EXPECT_EQ(param("param2"), nullptr);
    EXPECT_EQ(param("param7"), nullptr);
}

TEST_F(Params, WideTwinStoresWideStrings) {
    EXPECT_EQ(SetScriptParametersW(st, L"\u4e2d \"b c\""), 2);
    EXPECT_EQ(int_var("param0"), 2);
    const VariableSlot* one = param("param1");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->v.flags, (uint32_t)VF_UNICODE);
    EXPECT_STREQ(value_wtext(st, one->v), L"\u4e2d");
    const VariableSlot* two = param("param2");
    ASSERT_NE(two, nullptr);
    EXPECT_STREQ(value_wtext(st, two->v), L"b c");
    // The ANSI form then removes what the wide form left.
    EXPECT_EQ(SetScriptParameters(st, "z"), 1);
    EXPECT_EQ(param("param2"), nullptr);
    EXPECT_EQ(text_var("param1"), "z");
}

}  // namespace
