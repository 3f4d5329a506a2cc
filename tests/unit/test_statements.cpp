// Statement executor: the structure stack's mismatches and its limit, and the
// last-If result. What a script can show runs in core/statements.qob; the
// outcome each statement kind writes to the trace, in trace/statements.qob.
#include "statement_fixture.h"

#include <string>
#include "base/error_numbers.h"

namespace {

class Statements : public StatementTest {
protected:
    // Each case starts as a run does: no frames, outside loops, no If result.
    void fresh() {
        st->structure_depth = 0;
        st->in_loop = 0;
        st->last_if = -1;
    }
    void SetUp() override {
        StatementTest::SetUp();
        fresh();
    }
};

TEST_F(Statements, MisplacedStructureWordsAndTheirErrors) {
    const struct { const char* script; Err error; } cases[] = {
        {"If 1\nx = 1\nElse\nx = 2\nElse\nx = 3\nEndIf\n", Err::ElseWithoutIf},
        {"Else\n", Err::EndWithoutMatch}, {"While 0\nElse\n", Err::ElseWithoutIf},
        {"EndIf\n", Err::EndWithoutMatch}, {"While 0\nEndIf\n", Err::EndNoMatch},
        {"While 'x'\nEndWhile\n", Err::NotConvertibleToNumber}, {"If ''\nEndIf\n", Err::NotConvertibleToNumber},
        {"If 1\nContinue\nEndIf\n", Err::ContinueOutsideStructure},
        // A subroutine starts outside its caller's loop.
        {"i = 0\nWhile i < 2\ni = i + 1\nGoSub sub\nEndWhile\nExit\n:sub\nBreak\n", Err::BreakOutsideStructure},
        {"For 1 = 1 to 2\n", Err::ForBadSyntax}, {"For i 1 to 2\n", Err::ForBadSyntax},
        {"For i = 1 2\n", Err::ForBadSyntax}, {"For i = 'a' to 2\n", Err::ForCounterNotNumber},
        {"For i = 1 to 'b'\n", Err::ForCounterNotNumber},
        {"For i = 1 to 2 step 1\n", Err::ExtraAfterExpression}, {"Next\n", Err::EndWithoutMatch},
        {"If 1\nNext\n", Err::EndNoMatch}, {"Switch 1\nCase 'abc'\n", Err::SwitchNotInteger},
        {"Switch 1\nCase 1 2\n", Err::ExtraAfterExpression}, {"If 1\nEndSwitch\n", Err::EndNoMatch},
        {"If 1\nEnd Foo\n", Err::EndNotQualified}, {"End While\n", Err::EndWithoutMatch},
        {"End Switch\n", Err::EndWithoutMatch}, {"EndSelect\n", Err::EndWithoutMatch},
        {"End For\n", Err::EndWithoutMatch}, {"GoTo\n", Err::IncompleteStatement},
        {"GoTo ; comment\n", Err::IncompleteStatement}, {"GoSub\n", Err::IncompleteStatement},
    };
    for (const auto& c : cases) {
        fresh();
        EXPECT_EQ(run_error(c.script), E(c.error)) << c.script;
    }
    // A loop request that an EndIf has nowhere to carry.
    fresh();
    st->in_loop = 1;
    EXPECT_EQ(run_error("If 1\nBreak\nEndIf\n"), E(Err::BreakContinueNotInLoop));
    // A GoSub whose label is missing takes its frame back.
    fresh();
    EXPECT_EQ(run_error("GoSub nowhere\n"), E(Err::GoToLabelNotFound));
    EXPECT_EQ(st->structure_depth, 0);
}

std::string nested_ifs(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += "If 1\n";
    s += "deepest = 1\n";
    for (int i = 0; i < count; ++i) s += "EndIf\n";
    return s;
}

TEST_F(Statements, HundredNestedStructuresAndNoMore) {
    EXPECT_EQ(run(nested_ifs(STRUCTURE_FRAMES)), 0);
    EXPECT_EQ(int_var("deepest"), 1);
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(run_error(nested_ifs(STRUCTURE_FRAMES + 1)), E(Err::StructNestingTooDeep));
    EXPECT_EQ(st->structure_depth, STRUCTURE_FRAMES);
    EXPECT_EQ(statements, STRUCTURE_FRAMES + 1);
}

TEST_F(Statements, LastIfResultRules) {
    EXPECT_EQ(run("If 1 Then x = 1\n"), 0);
    EXPECT_EQ(st->last_if, 1);
    EXPECT_EQ(run("If 0 Then x = 1\nBeep\nYield\ny = 2\n"), 0);
    EXPECT_EQ(st->last_if, 0) << "plain statements, Beep and Yield keep it";
    const char* resetting[] = {"If 1\nEndIf\n", "While 0\nEndWhile\n", "For i = 1 to 0\nNext\n",
                               "Switch 1\nEndSwitch\n", "n = 1\nWhile n\nn = 0\nBreak\nEndWhile\n"};
    for (const char* script : resetting) {
        st->last_if = 1;
        EXPECT_EQ(run(script), 0) << script;
        EXPECT_EQ(st->last_if, -1) << script;
    }
}

}  // namespace
