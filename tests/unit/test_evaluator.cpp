// Expression evaluator: arithmetic and its conversions, comparisons and
// their modes, precedence and associativity, the primary's forms and their
// syntax errors, assignments, pointers, and the nesting guard.
#include <climits>
#include <cmath>
#include <string>
#include "base/error_info.h"
#include "base/errors.h"
#include "base/heap.h"
#include "engine_fixture.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/numtext.h"
#include "lang/var_pointer.h"

namespace {

class Evaluator : public EngineTest {
protected:
    std::string line;
    Value result;

    void SetUp() override {
        EngineTest::SetUp();
        init_value(&result);
    }
    void TearDown() override {
        if (st) release_value(st, &result);
        EngineTest::TearDown();
    }

    // Evaluates `text` from its first token into `result`.
    bool Eval(const std::string& text, int allow_assignment = 0) {
        release_value(st, &result);
        line = text;
        lexer_start(st, line.c_str());
        get_token(st);
        if (st->error) return false;
        return ProcessSubExpression(st, &result, allow_assignment, 0) == 1;
    }
    int32_t Int(const std::string& text) {
        EXPECT_TRUE(Eval(text)) << text << " failed with " << st->error;
        EXPECT_EQ(result.v.flags, VF_INT) << text;
        return result.v.integer;
    }
    double Float(const std::string& text) {
        EXPECT_TRUE(Eval(text)) << text << " failed with " << st->error;
        EXPECT_EQ(result.v.flags, VF_FLOAT) << text;
        return result.v.real;
    }
    std::string Text(const std::string& text) {
        EXPECT_TRUE(Eval(text)) << text << " failed with " << st->error;
        EXPECT_EQ(result.v.flags, VF_STRING) << text;
        const char* t = value_text(st, result.v);
        return t ? t : "<none>";
    }
    // The error number an expression (or statement) fails with; the error
    // and its additional text are kept in `info` and then cleared.
    std::string info;
    int Error(const std::string& text, int allow_assignment = 0) {
        EXPECT_FALSE(Eval(text, allow_assignment)) << text;
        int error = st->error;
        info = error_info_text(st);
        st->error = 0;
        free_error_info(st);
        return error;
    }
    void Run(const std::string& statement) {
        ASSERT_TRUE(Eval(statement, 1)) << statement << " failed with " << st->error;
        ASSERT_EQ(st->lexer.kind, TK_END) << statement;
    }
    const VariableSlot& Slot(const char* name) {
        uint16_t index = FindSlot(st, name);
        EXPECT_NE(index, NO_SLOT) << name;
        return *slot_at(st, index == NO_SLOT ? 0 : index);
    }
};

constexpr int kConvert = (int)Err::NotConvertibleToNumber;

// ------------------------------------------------------------------ arithmetic

TEST_F(Evaluator, IntegerDivisionTruncatesTowardZero) {
    EXPECT_EQ(Int("7 / 2"), 3);
    EXPECT_EQ(Int("-7 / 2"), -3);
    EXPECT_EQ(Int("-7 mod 2"), -1);
    EXPECT_EQ(Int("7 mod -2"), 1);
    EXPECT_EQ(Int("6 / 3"), 2);
}

TEST_F(Evaluator, FloatOperandMakesFloatArithmetic) {
    EXPECT_DOUBLE_EQ(Float("7.0 / 2"), 3.5);
    EXPECT_DOUBLE_EQ(Float("7 mod 2.5"), 2.0);
    EXPECT_DOUBLE_EQ(Float("-7 mod 2.5"), -2.0);
    EXPECT_DOUBLE_EQ(Float("1 + 0.5"), 1.5);
    EXPECT_DOUBLE_EQ(Float("3 * 1.0"), 3.0);
}

TEST_F(Evaluator, TextOperandsConvert) {
    EXPECT_EQ(Int("\"3\" + 4"), 7);
    EXPECT_DOUBLE_EQ(Float("\"3.5\" + 1"), 4.5);
    EXPECT_EQ(Int("\" 12\" * \"2\""), 24);
    EXPECT_EQ(Error("\"abc\" + 1"), kConvert);
    EXPECT_EQ(Error("1 - \"\""), kConvert);
    EXPECT_EQ(Error("\"1e999\" + 1"), kConvert);
}

TEST_F(Evaluator, IntegerArithmeticWraps) {
    EXPECT_EQ(Int("2147483647 + 1"), INT_MIN);
    EXPECT_EQ(Int("-2147483647 - 2"), INT_MAX);
    EXPECT_EQ(Int("65536 * 65536"), 0);
    EXPECT_EQ(Int("4294967297"), 1);
    // Would trap in the processor; must wrap instead.
    EXPECT_EQ(Int("-2147483648 / -1"), INT_MIN);
    EXPECT_EQ(Int("-2147483648 mod -1"), 0);
    EXPECT_EQ(Int("-(-2147483648)"), INT_MIN);
}

TEST_F(Evaluator, DivisionByZero) {
    const int zero = (int)Err::DivideByZero;
    EXPECT_EQ(Error("1 / 0"), zero);
    EXPECT_EQ(Error("1 mod 0"), zero);
    EXPECT_EQ(Error("1.0 / 0"), zero);
    EXPECT_EQ(Error("1 mod 0.0"), zero);
}

TEST_F(Evaluator, Power) {
    EXPECT_EQ(Error("2 ** -1"), (int)Err::FpFactArgument);
    EXPECT_EQ(Int("2 ** 0"), 1);
    EXPECT_EQ(Int("0 ** 0"), 1);
    EXPECT_EQ(Int("2 ** 10"), 1024);
    EXPECT_EQ(Int("2 ** 31"), INT_MIN);
    EXPECT_EQ(Int("2 ** 32"), 0);
    EXPECT_EQ(Int("-3 ** 3"), -27);
    // Repeated multiplication modulo 2^32, computed the slow way here.
    uint32_t expected = 1;
    for (int i = 0; i < 41; ++i) expected *= 3u;
    EXPECT_EQ(Int("3 ** 41"), (int32_t)expected);
    EXPECT_DOUBLE_EQ(Float("2.0 ** 0.5"), std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(Float("2.0 ** -1"), 0.5);
    EXPECT_DOUBLE_EQ(Float("4 ** 0.5"), 2.0);
}

TEST_F(Evaluator, FloatFaults) {
    EXPECT_EQ(Error("1e300 * 1e10"), (int)Err::FpOverflow);
    EXPECT_EQ(Error("-1e300 * 1e10"), (int)Err::FpOverflow);
    EXPECT_EQ(Error("10.0 ** 400"), (int)Err::FpOverflow);
    EXPECT_EQ(Error("-8.0 ** 0.5"), (int)Err::FpDomainError);
    EXPECT_EQ(Error("0.0 ** -1.0"), (int)Err::FpSingularity);
    EXPECT_EQ(Error("1e999"), (int)Err::FpOverflow);
    // Tiny results become zero instead of failing.
    EXPECT_EQ(Float("1e-300 / 1e10"), 0.0);
    EXPECT_EQ(Float("10.0 ** -400"), 0.0);
    // Just inside both limits.
    EXPECT_DOUBLE_EQ(Float("1e299 * 10.0"), 1e300);
    EXPECT_DOUBLE_EQ(Float("1e-299 / 10.0"), 1e-300);
    // No fault stays pending for a later operation.
    EXPECT_EQ(Int("1 + 1"), 2);
}

TEST_F(Evaluator, BitwiseAndShifts) {
    EXPECT_EQ(Int("1 << 33"), 2);
    EXPECT_EQ(Int("1 << 31"), INT_MIN);
    EXPECT_EQ(Int("-8 >> 1"), -4);
    EXPECT_EQ(Int("-1 >> 40"), -1);
    EXPECT_EQ(Int("256 >> 32"), 256);
    EXPECT_EQ(Int("12 & 10"), 8);
    EXPECT_EQ(Int("12 | 10"), 14);
    EXPECT_EQ(Int("12 ^ 10"), 6);
    const int binary = (int)Err::BadBinaryOperand;
    EXPECT_EQ(Error("1.5 & 1"), binary);
    EXPECT_EQ(Error("1 | 2.0"), binary);
    EXPECT_EQ(Error("1.0 << 1"), binary);
}

TEST_F(Evaluator, LogicalOperatorsGiveZeroOrOne) {
    EXPECT_EQ(Int("5 && 7"), 1);
    EXPECT_EQ(Int("5 && 0"), 0);
    EXPECT_EQ(Int("0 || -3"), 1);
    EXPECT_EQ(Int("0 || 0"), 0);
    EXPECT_EQ(Int("0.5 && 2"), 1);
    EXPECT_EQ(Int("0.0 || 0"), 0);
}

TEST_F(Evaluator, Prefixes) {
    EXPECT_EQ(Int("-5"), -5);
    EXPECT_EQ(Int("+5"), 5);
    EXPECT_EQ(Int("~0"), -1);
    EXPECT_EQ(Int("!5"), 0);
    EXPECT_EQ(Int("!0"), 1);
    EXPECT_EQ(Int("!!7"), 1);
    EXPECT_EQ(Int("- -3"), 3);
    EXPECT_EQ(Int("-\"4\""), -4);
    EXPECT_DOUBLE_EQ(Float("-2.5"), -2.5);
    EXPECT_EQ(Int("!0.0"), 1);
    EXPECT_EQ(Int("!0.1"), 0);
    EXPECT_EQ(Error("~1.5"), (int)Err::BadUnaryOperand);
    EXPECT_EQ(Error("*5"), (int)Err::BadUnaryOperand);
    EXPECT_EQ(Error("-\"abc\""), kConvert);
}

// ------------------------------------------------------------------ precedence

TEST_F(Evaluator, PrecedenceAndAssociativity) {
    EXPECT_EQ(Int("2 + 3 * 4"), 14);
    EXPECT_EQ(Int("(2 + 3) * 4"), 20);
    EXPECT_EQ(Int("10 - 4 - 3"), 3);
    EXPECT_EQ(Int("100 / 10 / 5"), 2);
    EXPECT_EQ(Int("7 mod 4 * 2"), 6);
    // ** is left-associative: (2 ** 3) ** 2.
    EXPECT_EQ(Int("2 ** 3 ** 2"), 64);
    EXPECT_EQ(Int("2 * 3 ** 2"), 18);
    // Prefixes bind tighter than **.
    EXPECT_EQ(Int("-2 ** 2"), 4);
    EXPECT_EQ(Error("2 ** -2 + 5"), (int)Err::FpFactArgument);
    EXPECT_EQ(Int("1 << 2 + 1"), 8);
    EXPECT_EQ(Int("1 + 1 << 2"), 8);
    EXPECT_EQ(Text("1 + 2 : 3"), "33");
    EXPECT_EQ(Text("\"a\" : 1 << 3"), "a8");
    EXPECT_EQ(Int("1 | 2 == 2"), 1);
    EXPECT_EQ(Int("3 & 1 < 2"), 1);
    EXPECT_EQ(Int("11 == 1 : 1"), 1);
    EXPECT_EQ(Int("2 > 1 && 3 > 2"), 1);
    EXPECT_EQ(Int("0 ^ 1 || 0"), 1);
}

TEST_F(Evaluator, AndOrShareOneLevel) {
    // Left to right: (1 || 0) && 0, not 1 || (0 && 0).
    EXPECT_EQ(Int("1 || 0 && 0"), 0);
    EXPECT_EQ(Int("0 && 0 || 1"), 1);
}

TEST_F(Evaluator, CurrentTokenIsLeftAfterTheExpression) {
    ASSERT_TRUE(Eval("1 + 2 ) 5"));
    EXPECT_EQ(result.v.integer, 3);
    EXPECT_TRUE(token_is(st, KWID_CLOSE));
    ASSERT_TRUE(Eval("4 , x"));
    EXPECT_TRUE(token_is(st, KWID_COMMA));
    ASSERT_TRUE(Eval("7 8"));
    EXPECT_EQ(result.v.integer, 7);
    EXPECT_EQ(st->lexer.kind, TK_INT);
}

// ------------------------------------------------------------------ comparisons

TEST_F(Evaluator, ComparisonModes) {
    EXPECT_EQ(Int("\"10\" == 10.0"), 1);
    EXPECT_EQ(Int("\"abc\" < \"abd\""), 1);
    // Both integer texts: compared as numbers, not as text.
    EXPECT_EQ(Int("\"10\" < \"9\""), 0);
    EXPECT_EQ(Int("\"1.0\" == \"1\""), 1);
    EXPECT_EQ(Int("5 == \"5\""), 1);
    EXPECT_EQ(Int("5 == \"5.0\""), 1);
    EXPECT_EQ(Int("2147483647 > -1"), 1);
    EXPECT_EQ(Int("-2147483648 < 2147483647"), 1);
    EXPECT_EQ(Int("2 >= 2.0"), 1);
    // A number against a text that is no number compares as text.
    EXPECT_EQ(Int("5 == \"5x\""), 0);
    EXPECT_EQ(Int("5 < \"x\""), 1);
    // A failed trial conversion leaves no error behind.
    EXPECT_EQ(st->error, 0);
}

TEST_F(Evaluator, EveryComparisonOperator) {
    const char* ops[] = {"==", "!=", "<>", "<", "<=", ">", ">="};
    const int less[] = {0, 1, 1, 1, 1, 0, 0};
    const int equal[] = {1, 0, 0, 0, 1, 0, 1};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Int(std::string("1 ") + ops[i] + " 2"), less[i]) << ops[i];
        EXPECT_EQ(Int(std::string("2 ") + ops[i] + " 2"), equal[i]) << ops[i];
        EXPECT_EQ(Int(std::string("1.5 ") + ops[i] + " 2"), less[i]) << ops[i];
        EXPECT_EQ(Int(std::string("\"a\" ") + ops[i] + " \"b\""), less[i]) << ops[i];
        EXPECT_EQ(Int(std::string("\"b\" ") + ops[i] + " \"b\""), equal[i]) << ops[i];
    }
}

TEST_F(Evaluator, FloatsAreEqualWhenTheyPrintTheSame) {
    EXPECT_EQ(Int("0.1 + 0.2 == 0.3"), 1);
    EXPECT_EQ(Int("0.1 + 0.2 != 0.3"), 0);
    // The order still sees the difference.
    EXPECT_EQ(Int("0.1 + 0.2 > 0.3"), 1);
    set_decimals(st, 2);
    EXPECT_EQ(Int("1.001 == 1.002"), 1);
    EXPECT_EQ(Int("1.001 == 1.01"), 0);
    set_decimals(st, -1);
}

TEST_F(Evaluator, TextComparisonIsLocaleAwareAndCaseSensitive) {
    EXPECT_EQ(Int("\"abc\" == \"ABC\""), 0);
    EXPECT_EQ(Int("\"abc\" == \"abc\""), 1);
    // Alphabetical, not by character code: "a" sorts before "B".
    EXPECT_EQ(Int("\"a\" < \"B\""), 1);
    EXPECT_EQ(Int("\"\" < \"a\""), 1);
}

TEST_F(Evaluator, WideTextComparesAsWideText) {
    ASSERT_TRUE(SetVariable(st, "w", VF_UNICODE, L"wide"));
    EXPECT_EQ(Int("w == \"wide\""), 1);
    EXPECT_EQ(Int("\"wider\" > w"), 1);
    ASSERT_TRUE(SetVariable(st, "n", VF_UNICODE, L"42"));
    EXPECT_EQ(Int("n == 42"), 1);
    EXPECT_EQ(Int("n < \"5\""), 0);  // both integer texts
}

// ------------------------------------------------------------------ concatenation

TEST_F(Evaluator, Concatenation) {
    EXPECT_EQ(Text("\"ab\" : \"cd\""), "abcd");
    EXPECT_EQ(Text("1 : 2"), "12");
    EXPECT_EQ(Text("1.5 : \"x\""), "1.5x");
    EXPECT_EQ(Text("\"\" : \"\""), "");
    EXPECT_EQ(Text("\"a\" : \"b\" : \"c\""), "abc");
    ASSERT_TRUE(SetVariable(st, "w", VF_UNICODE, L"wide"));
    ASSERT_TRUE(Eval("w : \"-\" : 7"));
    ASSERT_EQ(result.v.flags, VF_UNICODE);
    EXPECT_STREQ(value_wtext(st, result.v), L"wide-7");
}

TEST_F(Evaluator, ConcatenationLeavesNoBlocksBehind) {
    HeapStats before = heap_stats(st);
    EXPECT_EQ(Text("\"abc\" : 12 : 3.5"), "abc123.5");
    release_value(st, &result);
    HeapStats after = heap_stats(st);
    EXPECT_TRUE(after.intact);
    EXPECT_EQ(after.used_blocks, before.used_blocks);
    EXPECT_EQ(after.used_bytes, before.used_bytes);
}

// ------------------------------------------------------------------ primary

TEST_F(Evaluator, Literals) {
    EXPECT_EQ(Int("12345"), 12345);
    EXPECT_DOUBLE_EQ(Float("1.5e3"), 1500.0);
    EXPECT_DOUBLE_EQ(Float(".5"), 0.5);
    EXPECT_EQ(Text("'it''s'"), "it's");
    EXPECT_EQ(Text("\"\""), "");
}

TEST_F(Evaluator, Constants) {
    EXPECT_DOUBLE_EQ(Float("@PI"), 3.141592653589793);
    EXPECT_DOUBLE_EQ(Float("@deg2rad"), 0.017453292519943);
    EXPECT_EQ(Int("@hidden"), -1);
    EXPECT_EQ(Int("@regclasses"), INT_MIN);
    EXPECT_EQ(Int("@true + @wholesection"), 692838);
    EXPECT_EQ(Text("@crlf"), "\r\n");
    EXPECT_EQ(Text("\"a\" : @tab"), "a\t");
}

TEST_F(Evaluator, Variables) {
    ASSERT_TRUE(set_variable_int(st, "count", 41));
    ASSERT_TRUE(set_variable_text(st, "name", "abc"));
    EXPECT_EQ(Int("count + 1"), 42);
    EXPECT_EQ(Int("COUNT"), 41);
    // A copy with texts of its own and its origin.
    EXPECT_EQ(Text("name"), "abc");
    EXPECT_NE(result.v.handle, Slot("name").v.handle);
    EXPECT_EQ(result.origin_index, FindSlot(st, "name"));
    EXPECT_EQ(result.origin_table, 0);
    // A computed value has no origin.
    EXPECT_EQ(Int("count * 1"), 41);
    EXPECT_EQ(result.origin_index, ORIGIN_NONE);
}

TEST_F(Evaluator, UninitializedVariable) {
    EXPECT_EQ(Error("never + 1"), (int)Err::UninitializedVariable);
    EXPECT_NE(info.find("Uninitialized variable or undefined function:"), std::string::npos) << info;
    EXPECT_NE(info.find("never"), std::string::npos) << info;
}

TEST_F(Evaluator, SyntaxErrors) {
    const int syntax = (int)Err::IllegalSyntax;
    EXPECT_EQ(Error("x = (1", 1), (int)Err::UnbalancedParenthesis);
    EXPECT_EQ(Error("(1 + 2"), (int)Err::UnbalancedParenthesis);
    EXPECT_EQ(Error(""), syntax);
    EXPECT_EQ(Error("1 +"), syntax);
    EXPECT_EQ(Error(")"), syntax);
    EXPECT_EQ(Error("1 * / 2"), syntax);
    EXPECT_EQ(Error("endwhile"), syntax);
    EXPECT_EQ(Error("beep"), syntax);
}

TEST_F(Evaluator, AssignmentWhereItIsNotAllowed) {
    const int assign = (int)Err::AssignmentNotLegal;
    const std::string hint = "To compare two values, use == instead";
    // "If a = 1": an unknown a is no excuse.
    EXPECT_EQ(Error("a = 1"), assign);
    EXPECT_EQ(info, hint);
    ASSERT_TRUE(set_variable_int(st, "b", 1));
    EXPECT_EQ(Error("b = 1"), assign);
    EXPECT_EQ(info, hint);
    EXPECT_EQ(Error("1 = 1"), assign);
    EXPECT_EQ(info, hint);
    EXPECT_EQ(Error("b + 1 = 2"), assign);
    EXPECT_EQ(Error("(b = 1)"), assign);
    // The right-hand side of an assignment is no place for another.
    EXPECT_EQ(Error("c = b = 1", 1), assign);
    EXPECT_EQ(Slot("b").v.integer, 1);
}

// ------------------------------------------------------------------ calls

TEST_F(Evaluator, FunctionCalls) {
    EXPECT_EQ(Int("Abs(-5)"), 5);
    EXPECT_EQ(Int("abs(2 - 9) + 1"), 8);
    EXPECT_EQ(Int("Abs(Abs(-3) * -2)"), 6);
}

TEST_F(Evaluator, FunctionArgumentSyntax) {
    const int count = (int)Err::WrongArgumentCount;
    EXPECT_EQ(Error("Abs(1,2)"), count);
    EXPECT_EQ(info, "or missing parenthesis");
    EXPECT_EQ(Error("Abs(1 2)"), count);
    EXPECT_EQ(Error("Abs(1"), count);
    EXPECT_EQ(Error("Abs 1"), (int)Err::MissingOpenParenthesis);
    EXPECT_EQ(info, "Abs not followed by open parenthesis");
    // The missing argument is parsed as an expression starting at ")".
    EXPECT_EQ(Error("Abs()"), (int)Err::IllegalSyntax);
    const int delimiter = (int)Err::IllegalDelimiter;
    const std::string hint = "Function may need more parameters, or a period was used when a comma was expected";
    EXPECT_EQ(Error("StrSub(\"abc\", 1)"), delimiter);
    EXPECT_EQ(info, hint);
    EXPECT_EQ(Error("StrSub(\"abc\" 1, 2)"), delimiter);
    EXPECT_EQ(Error("StrSub(\"abc\", 1 2)"), delimiter);
    // An argument's own error wins and no argument value is left behind.
    HeapStats before = heap_stats(st);
    EXPECT_EQ(Error("StrSub(\"abc\", \"x\" + 1, 2)"), kConvert);
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);
}

// ------------------------------------------------------------------ assignment

TEST_F(Evaluator, AssignmentToNewAndExistingVariables) {
    Run("x = 2 + 3");
    EXPECT_EQ(result.v.integer, 5);
    EXPECT_EQ(Slot("x").v.flags, VF_INT);
    EXPECT_EQ(Slot("x").v.integer, 5);
    EXPECT_EQ(st->scopes[0].last_assigned, FindSlot(st, "x"));
    EXPECT_EQ(st->assign_table, 0);
    EXPECT_EQ(st->assign_slot, FindSlot(st, "x"));
    Run("x = x * 2.5");
    EXPECT_EQ(Slot("x").v.flags, VF_FLOAT);
    EXPECT_DOUBLE_EQ(Slot("x").v.real, 12.5);
    Run("y = \"text\" ; comment");
    EXPECT_STREQ(value_text(st, Slot("y").v), "text");
    // The variable has a block of its own, not the result's.
    EXPECT_NE(Slot("y").v.handle, result.v.handle);
    EXPECT_EQ(st->scopes[0].last_assigned, FindSlot(st, "y"));
}

TEST_F(Evaluator, OverwritingATextFreesTheOldBlock) {
    Run("s = \"first value\"");
    release_value(st, &result);
    HeapStats before = heap_stats(st);
    Run("s = \"second!\" : \"\"");
    release_value(st, &result);
    HeapStats after = heap_stats(st);
    EXPECT_TRUE(after.intact);
    EXPECT_EQ(after.used_blocks, before.used_blocks);
    EXPECT_STREQ(value_text(st, Slot("s").v), "second!");
    Run("s = 1");
    release_value(st, &result);
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks - 1);
}

TEST_F(Evaluator, AssignmentMustEndTheLine) {
    EXPECT_EQ(Error("x = 1 2", 1), (int)Err::ExtraAfterExpression);
    EXPECT_EQ(info, "Check for extra ) on end or missing ; before a comment or other extraneous characters "
                    "after logical end of line");
    EXPECT_EQ(Error("x = (1))", 1), (int)Err::ExtraAfterExpression);
}

TEST_F(Evaluator, StatementWithoutAssignmentIsAnExpression) {
    ASSERT_TRUE(set_variable_int(st, "v", 4));
    ASSERT_TRUE(Eval("v", 1));
    EXPECT_EQ(result.v.integer, 4);
    ASSERT_TRUE(Eval("v * 2 + v", 1));
    EXPECT_EQ(result.v.integer, 12);
    ASSERT_TRUE(Eval("v == 4", 1));
    EXPECT_EQ(result.v.integer, 1);
    EXPECT_EQ(Slot("v").v.integer, 4);
}

TEST_F(Evaluator, FailedRightHandSideLeavesTheVariable) {
    ASSERT_TRUE(set_variable_int(st, "k", 9));
    EXPECT_EQ(Error("k = 1 / 0", 1), (int)Err::DivideByZero);
    EXPECT_EQ(Slot("k").v.integer, 9);
}

// ------------------------------------------------------------------ pointers

TEST_F(Evaluator, AddressOfAndDereference) {
    ASSERT_TRUE(set_variable_int(st, "target", 17));
    std::string pointer = Text("&target");
    EXPECT_EQ(pointer.compare(0, 9, "#VAR$PTR#"), 0) << pointer;
    EXPECT_EQ(pointer.substr(pointer.size() - 6), "target");
    Run("p = &target");
    EXPECT_EQ(Int("*p + 1"), 18);
    EXPECT_EQ(Int("*&target"), 17);
    EXPECT_EQ(Error("&5"), (int)Err::BadAmpersandUse);
    EXPECT_EQ(Error("&(target + 0)"), (int)Err::BadAmpersandUse);
    EXPECT_EQ(Error("*\"abc\""), (int)Err::NotVariablePointer);
    // The operand of a prefix "&" that did not exist yet is created.
    Run("q = &fresh");
    EXPECT_EQ(Slot("fresh").v.flags, VF_INT);
    EXPECT_EQ(Slot("fresh").v.integer, -1);
}

TEST_F(Evaluator, AssignmentThroughPointer) {
    ASSERT_TRUE(set_variable_int(st, "target", 1));
    Run("p = &target");
    // The statement executor consumes the "*" and sets the dereference flag.
    release_value(st, &result);
    line = "p = 40 + 2";
    lexer_start(st, line.c_str());
    st->lexer.dereference = 1;
    get_token(st);
    ASSERT_EQ(ProcessSubExpression(st, &result, 1, 1), 1) << st->error;
    EXPECT_EQ(Slot("target").v.integer, 42);
    EXPECT_NE(Slot("p").v.flags & VF_STRING, 0u);

    ASSERT_TRUE(set_variable_int(st, "n", 3));
    line = "n = 1";
    lexer_start(st, line.c_str());
    st->lexer.dereference = 1;
    get_token(st);
    release_value(st, &result);
    EXPECT_EQ(ProcessSubExpression(st, &result, 1, 1), 0);
    EXPECT_EQ(st->error, (uint16_t)Err::NotVariablePointer);
    st->error = 0;
}

// ------------------------------------------------------------------ nesting guard

TEST_F(Evaluator, DeepNestingFailsInsteadOfOverflowing) {
    const int depth_ok = 200;
    EXPECT_EQ(Int(std::string(depth_ok, '(') + "1" + std::string(depth_ok, ')')), 1);
    EXPECT_EQ(Int(std::string(depth_ok, '-') + "1"), 1);
    std::string calls;
    for (int i = 0; i < 60; ++i) calls += "Abs(";
    EXPECT_EQ(Int(calls + "-1" + std::string(60, ')')), 1);

    const int too_deep = 1100;
    EXPECT_EQ(Error(std::string(too_deep, '(') + "1" + std::string(too_deep, ')')), (int)Err::IllegalSyntax);
    EXPECT_EQ(Error(std::string(too_deep, '!') + "1"), (int)Err::IllegalSyntax);
    calls.clear();
    for (int i = 0; i < 600; ++i) calls += "Abs(";
    EXPECT_EQ(Error(calls + "1" + std::string(600, ')')), (int)Err::IllegalSyntax);
    // The depth count unwinds with the error.
    EXPECT_EQ(st->expression_depth, 0);
    EXPECT_EQ(Int("(((2)))"), 2);
}

}  // namespace
