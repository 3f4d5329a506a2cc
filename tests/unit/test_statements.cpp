// Statement executor: dispatch, If/Else, While, For, Switch, Break and
// Continue, the nesting limit and the end keywords, run line by line from a
// scrambled script buffer.
#include "statement_fixture.h"

#include <string>
#include "base/error_numbers.h"
#include "engine/run_loop.h"
#include "lang/host_call.h"
#include "lang/pump.h"

namespace {

class Statements : public StatementTest {
protected:
    void SetUp() override {
        StatementTest::SetUp();
        st->last_if = -1;  // as at the start of a run
    }
};

// ---------------------------------------------------------------- If / Else

TEST_F(Statements, FalseBlockSkipsNestedStructuresAndUntokenisableLines) {
    EXPECT_EQ(run("a = 0\n"
                  "If 0\n"
                  "  If 1\n"
                  "    a = 1\n"
                  "  Else\n"
                  "    a = 2\n"
                  "  EndIf\n"
                  "  x = 1..2 $ 'open\n"
                  "  $junk = 1\n"
                  "  1..2\n"
                  "  While 1\n"
                  "    a = 3\n"
                  "  EndWhile\n"
                  "  For i = 1 to 3\n"
                  "  Next\n"
                  "  Switch 1\n"
                  "  Case 1\n"
                  "  EndSwitch\n"
                  "  If 1 $ 2 Then a = 4\n"
                  "  If 1 $ 2\n"
                  "  End If\n"
                  "Else\n"
                  "  a = a + 5\n"
                  "EndIf\n"),
              0);
    EXPECT_EQ(integer("a"), 5);
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(st->in_loop, 0);
    EXPECT_EQ(FindSlot(st, "i"), NO_SLOT) << "a skipped For assigns nothing";
}

TEST_F(Statements, TrueBlockRunsAndItsElseIsSkipped) {
    EXPECT_EQ(run_error("r = ''\n"
                  "If 2 > 1\n"
                  "  r = r : 'a'\n"
                  "  If 0 Then r = r : 'x'\n"
                  "  If ''\n"  // an empty text is not a number
                  "  EndIf\n"
                  "Else\n"
                  "  r = r : 'b'\n"
                  "EndIf\n"),
              E(Err::NotConvertibleToNumber));
    EXPECT_EQ(text("r"), "a");
    EXPECT_EQ(run("r = ''\n"
                  "If 1\n"
                  "  r = r : 'a'\n"
                  "Else\n"
                  "  r = r : 'b'\n"
                  "End If\n"
                  "r = r : 'c'\n"),
              0);
    EXPECT_EQ(text("r"), "ac");
}

TEST_F(Statements, SecondElseIsRefused) {
    EXPECT_EQ(run_error("If 1\nx = 1\nElse\nx = 2\nElse\nx = 3\nEndIf\n"), E(Err::ElseWithoutIf));
    EXPECT_EQ(stopped_line, "Else");
    EXPECT_EQ(integer("x"), 1);
}

TEST_F(Statements, SingleLineIfAndElseOnTheNextLine) {
    EXPECT_EQ(run("r = ''\n"
                  "If 1 Then r = r : 'a'\n"
                  "Else r = r : 'b'\n"
                  "If 0 Then r = r : 'c'\n"
                  "Else r = r : 'd'\n"
                  "If 0 Then r = r : 'e' ; comment\n"
                  "x = 1\n"  // a plain statement keeps the last If result
                  "Else r = r : 'f'\n"),
              0);
    EXPECT_EQ(text("r"), "adf");
    EXPECT_EQ(st->structure_depth, 0) << "single-line forms push no frame";
    EXPECT_EQ(st->last_if, 0);
}

TEST_F(Statements, FloatConditionsAreTruncatedNotRounded) {
    EXPECT_EQ(run("r = ''\n"
                  "If 0.9 Then r = r : 'a'\n"
                  "If -0.9 Then r = r : 'b'\n"
                  "If 1.5 Then r = r : 'c'\n"
                  "If 3e10 Then r = r : 'd'\n"
                  "If '7' Then r = r : 'e'\n"),
              0);
    EXPECT_EQ(text("r"), "cde");
}

TEST_F(Statements, ElseWithoutAKnownIfResult) {
    EXPECT_EQ(run_error("Else x = 1\n"), E(Err::NoIfForThenElse));
    // A block If leaves no result for a following single-line Else.
    st->last_if = -1;
    EXPECT_EQ(run_error("If 1\nEndIf\nElse x = 1\n"), E(Err::NoIfForThenElse));
    EXPECT_EQ(stopped_line, "Else x = 1");
    // Inside a skipped block the missing result is not an error.
    EXPECT_EQ(run("If 0\nElse x = 1\nEndIf\n"), 0);
}

TEST_F(Statements, IfSyntaxErrors) {
    EXPECT_EQ(run_error("If 1 2 Then x = 1\n"), E(Err::ThenNotFound));
    EXPECT_EQ(run_error("If 'abc' Then x = 1\n"), E(Err::NotConvertibleToNumber));
    EXPECT_EQ(run_error("If 1 = 1 Then x = 1\n"), E(Err::AssignmentNotLegal));
    EXPECT_EQ(run_error("If 1 Then x = 1 2\n"), E(Err::ExtraAfterExpression));
}

TEST_F(Statements, ElseAndEndIfMismatches) {
    EXPECT_EQ(run_error("Else\n"), E(Err::EndWithoutMatch));
    EXPECT_EQ(run_error("While 0\nElse\n"), E(Err::ElseWithoutIf));
    st->structure_depth = 0;
    EXPECT_EQ(run_error("EndIf\n"), E(Err::EndWithoutMatch));
    EXPECT_EQ(run_error("While 0\nEndIf\n"), E(Err::EndNoMatch));
}

// ---------------------------------------------------------------- While, Break, Continue

TEST_F(Statements, WhileWithBreakAndContinueInsideIfBlocks) {
    EXPECT_EQ(run("i = 0\n"
                  "s = 0\n"
                  "While 1\n"
                  "  i = i + 1\n"
                  "  If i == 3\n"
                  "    Continue\n"
                  "    s = s + 1000\n"
                  "  EndIf\n"
                  "  If i > 5\n"
                  "    If 1\n"
                  "      Break\n"
                  "    EndIf\n"
                  "    s = s + 1000\n"
                  "  EndIf\n"
                  "  s = s + i\n"
                  "EndWhile\n"
                  "after = 1\n"),
              0);
    EXPECT_EQ(integer("i"), 6);
    EXPECT_EQ(integer("s"), 1 + 2 + 4 + 5);
    EXPECT_EQ(integer("after"), 1);
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(st->in_loop, 0);
}

TEST_F(Statements, WhileConditionIsEvaluatedEachPass) {
    EXPECT_EQ(run("n = 0\nWhile n < 4\n  n = n + 1\nEndWhile\n"), 0);
    EXPECT_EQ(integer("n"), 4);
    EXPECT_EQ(run("n = 9\nWhile n < 4\n  n = 100\nEnd While\n"), 0);
    EXPECT_EQ(integer("n"), 9);
    EXPECT_EQ(run_error("While 'x'\nEndWhile\n"), E(Err::NotConvertibleToNumber));
}

TEST_F(Statements, BreakAndContinueOutsideLoops) {
    EXPECT_EQ(run_error("Break\n"), E(Err::BreakOutsideStructure));
    EXPECT_EQ(run_error("If 1\nContinue\nEndIf\n"), E(Err::ContinueOutsideStructure));
    st->structure_depth = 0;
    // A loop request that an EndIf has nowhere to carry.
    st->in_loop = 1;
    EXPECT_EQ(run_error("If 1\nBreak\nEndIf\n"), E(Err::BreakContinueNotInLoop));
    st->in_loop = 0;
}

// ---------------------------------------------------------------- For

TEST_F(Statements, ForCountsUpAndDown) {
    EXPECT_EQ(run("r = ''\nFor i = 5 to 1 by -1\n  r = r : i\nNext\n"), 0);
    EXPECT_EQ(text("r"), "54321");
    EXPECT_EQ(integer("i"), 0) << "the first value that failed the test";
    EXPECT_EQ(run("r = ''\nFor i = 1 to 9 by 3\n  r = r : i\nEndFor\n"), 0);
    EXPECT_EQ(text("r"), "147");
    EXPECT_EQ(integer("i"), 10);
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(st->in_loop, 0);
}

TEST_F(Statements, ForThatNeverRuns) {
    EXPECT_EQ(run("n = 0\nFor i = 1 to 0\n  n = n + 1\nNext\n"), 0);
    EXPECT_EQ(integer("n"), 0);
    EXPECT_EQ(integer("i"), 1);
    EXPECT_EQ(run("n = 0\nFor i = 3 to 3\n  n = n + 1\nNext\n"), 0);
    EXPECT_EQ(integer("n"), 1) << "the end value itself runs";
}

TEST_F(Statements, ForWithFloatSteps) {
    EXPECT_EQ(run("n = 0\nFor x = 0 to 1 by 0.25\n  n = n + 1\nNext\n"), 0);
    EXPECT_EQ(integer("n"), 5);
    EXPECT_EQ(payload("x").flags, VF_FLOAT);
    EXPECT_DOUBLE_EQ(payload("x").real, 1.25);
    EXPECT_EQ(run("n = 0\nFor x = 1 to 0 by -0.5\n  n = n + 1\nNext\n"), 0);
    EXPECT_EQ(integer("n"), 3);
    EXPECT_DOUBLE_EQ(payload("x").real, -0.5);
}

TEST_F(Statements, ForOperandsMayBeNumericTexts) {
    EXPECT_EQ(run("r = ''\nFor i = '2' to '4'\n  r = r : i\nNext\n"), 0);
    EXPECT_EQ(text("r"), "234");
    // The body may change the counter, even into a text.
    EXPECT_EQ(run("n = 0\nFor i = 1 to 10\n  n = n + 1\n  If n == 1 Then i = '8'\nNext\n"), 0);
    EXPECT_EQ(integer("n"), 3);
    EXPECT_EQ(integer("i"), 11);
}

TEST_F(Statements, ForWithBreakAndContinue) {
    EXPECT_EQ(run("r = ''\n"
                  "For i = 1 to 10\n"
                  "  If i == 2 Then Continue\n"
                  "  If i == 5 Then Break\n"
                  "  r = r : i\n"
                  "Next\n"),
              0);
    EXPECT_EQ(text("r"), "134");
    EXPECT_EQ(integer("i"), 5);
    EXPECT_EQ(st->in_loop, 0);
}

TEST_F(Statements, ForSyntaxErrors) {
    EXPECT_EQ(run_error("For 1 = 1 to 2\n"), E(Err::ForBadSyntax));
    EXPECT_EQ(run_error("For i 1 to 2\n"), E(Err::ForBadSyntax));
    EXPECT_EQ(run_error("For i = 1 2\n"), E(Err::ForBadSyntax));
    st->structure_depth = 0;
    EXPECT_EQ(run_error("For i = 'a' to 2\n"), E(Err::ForCounterNotNumber));
    EXPECT_EQ(run_error("For i = 1 to 'b'\n"), E(Err::ForCounterNotNumber));
    st->structure_depth = 0;
    EXPECT_EQ(run_error("For i = 1 to 2 step 1\n"), E(Err::ExtraAfterExpression));
    st->structure_depth = 0;
    EXPECT_EQ(run_error("to 5\n"), E(Err::MisplacedTo));
    EXPECT_EQ(run_error("Next\n"), E(Err::EndWithoutMatch));
    EXPECT_EQ(run_error("If 1\nNext\n"), E(Err::EndNoMatch));
}

// ---------------------------------------------------------------- Switch

TEST_F(Statements, SwitchFallsThroughUntilBreak) {
    const char* body = "Case 2\n  r = r : '2'\n"
                       "Case 3\n  r = r : '3'\n"
                       "Case 4\n  r = r : '4'\n  Break\n"
                       "Case 5\n  r = r : '5'\n"
                       "EndSwitch\n";
    EXPECT_EQ(run(std::string("r = ''\nSwitch 3\n") + body), 0);
    EXPECT_EQ(text("r"), "34");
    EXPECT_EQ(run(std::string("r = ''\nSwitch 1 + 4\n") + body), 0);
    EXPECT_EQ(text("r"), "5");
    EXPECT_EQ(run(std::string("r = ''\nSwitch 9\n") + body), 0);
    EXPECT_EQ(text("r"), "");
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(st->in_loop, 0);
}

TEST_F(Statements, SelectAliasesAndTextValues) {
    EXPECT_EQ(run("r = ''\nSelect '-70000'\nCase -70000\n  r = 'hit'\nEnd Select\n"), 0);
    EXPECT_EQ(text("r"), "hit") << "values beyond 16 bits survive the split frame fields";
    EXPECT_EQ(run("r = ''\nSwitch 65536\nCase 0\n  r = 'low'\nCase 65536\n  r = r : 'ok'\nEndSelect\n"), 0);
    EXPECT_EQ(text("r"), "ok");
}

TEST_F(Statements, ContinueInSwitchResumesTheSearch) {
    EXPECT_EQ(run("r = ''\n"
                  "Switch 1\n"
                  "Case 1\n  r = r : 'a'\n  Continue\n"
                  "Case 2\n  r = r : 'b'\n"
                  "Case 1\n  r = r : 'c'\n"
                  "EndSwitch\n"),
              0);
    EXPECT_EQ(text("r"), "ac");
}

TEST_F(Statements, SwitchAndCaseNumberRules) {
    EXPECT_EQ(run_error("Switch 2.5\n"), E(Err::SwitchNotInteger));
    EXPECT_EQ(run_error("Switch 'abc'\n"), E(Err::SwitchNotInteger));
    EXPECT_EQ(run_error("Switch 1\nCase 'abc'\n"), E(Err::SwitchNotInteger));
    st->structure_depth = 0;
    EXPECT_EQ(run("r = ''\nSwitch 2\nCase 2.5\n  r = 'two'\nEndSwitch\n"), 0);
    EXPECT_EQ(text("r"), "two") << "a Case float is truncated, not rounded";
    EXPECT_EQ(run("r = ''\nSwitch -2\nCase -2.9\n  r = 'minus two'\nEndSwitch\n"), 0);
    EXPECT_EQ(text("r"), "minus two");
    EXPECT_EQ(run_error("Switch 1\nCase 1 2\n"), E(Err::ExtraAfterExpression));
    st->structure_depth = 0;
    EXPECT_EQ(run_error("Case 1\n"), E(Err::CaseWithoutSwitch));
    EXPECT_EQ(run_error("If 1\nEndSwitch\n"), E(Err::EndNoMatch));
}

// ---------------------------------------------------------------- nesting, End

std::string nested_ifs(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += "If 1\n";
    s += "deepest = 1\n";
    for (int i = 0; i < count; ++i) s += "EndIf\n";
    return s;
}

TEST_F(Statements, HundredNestedStructuresAndNoMore) {
    EXPECT_EQ(run(nested_ifs(STRUCTURE_FRAMES)), 0);
    EXPECT_EQ(integer("deepest"), 1);
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(run_error(nested_ifs(STRUCTURE_FRAMES + 1)), E(Err::StructNestingTooDeep));
    EXPECT_EQ(st->structure_depth, STRUCTURE_FRAMES);
    EXPECT_EQ(statements, STRUCTURE_FRAMES + 1);
}

TEST_F(Statements, EndNeedsAStructureName) {
    EXPECT_EQ(run_error("If 1\nEnd Foo\n"), E(Err::EndNotQualified));
    EXPECT_EQ(run_error("End\n"), E(Err::EndNotQualified));
    st->structure_depth = 0;
    EXPECT_EQ(run_error("End While\n"), E(Err::EndWithoutMatch));
    EXPECT_EQ(run_error("End Switch\n"), E(Err::EndWithoutMatch));
    EXPECT_EQ(run_error("EndSelect\n"), E(Err::EndWithoutMatch));
    EXPECT_EQ(run_error("End For\n"), E(Err::EndWithoutMatch));
}

// ---------------------------------------------------------------- dispatch

TEST_F(Statements, PlainStatementsAndTheirErrors) {
    EXPECT_EQ(run("x = 5\np = &x\n*p = 7\n"), 0);
    EXPECT_EQ(integer("x"), 7) << "a leading * assigns through the pointer";
    EXPECT_EQ(run("Abs(1) 2\n"), E(Err::ExtraAfterExpression));
    EXPECT_NE(std::string(error_info_text(st)).find("Check for extra )"), std::string::npos);
    st->error = 0;
    free_error_info(st);
    EXPECT_EQ(run_error("*\n"), E(Err::IncompleteStatement));
    EXPECT_EQ(run_error("Then\n"), E(Err::StructOpNotDefined));
    EXPECT_EQ(run_error("x = 1..2\n"), E(Err::FpTooManyDots));
}

TEST_F(Statements, ExitEndsTheRun) {
    EXPECT_EQ(run_error("x = 1\nExit\nx = 2\n"), TERMINATE_EXIT);
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(integer("x"), 1);
    EXPECT_EQ(run("If 0\nExit\nEndIf\nYield\nBeep\nx = 3\n"), 0);
    EXPECT_EQ(integer("x"), 3);
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

TEST_F(Statements, StatementKindsForTheTrace) {
    struct Case {
        const char* script;
        int kind;
        int condition;
    } cases[] = {
        {"x = 1\n", 0, -1},
        {"If 1 Then x = 1\n", 1, 1},
        {"If 0 Then x = 1\n", 1, 0},
        {"While 0\n", 3, 0},
        {"For i = 1 to 2\n", 8, 1},
        {"Switch 1\n", 5, -1},
        {"Switch 1\nCase 1\n", 12, 1},
        {"If 1\n", 10, 1},
        {"If 1\nElse\n", 11, 0},
        {"If 0\nx = 1\n", 2, -1},
        {"If 1\nEndIf\n", 4, -1},
    };
    for (const Case& c : cases) {
        st->structure_depth = 0;
        st->in_loop = 0;
        st->last_condition = -1;
        EXPECT_EQ(run(c.script), 0) << c.script;
        EXPECT_EQ(st->statement_kind, c.kind) << c.script;
        if (c.condition >= 0) {
            EXPECT_EQ(st->last_condition, c.condition) << c.script;
        }
    }
}

}  // namespace
