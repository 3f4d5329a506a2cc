// The numeric built-ins through DispatchFunction: float functions and their
// faults, rounding, Decimals, Random, the number tests, the version texts,
// and Min/Max/Average reading their own argument lists from the lexer.
#include <math.h>
#include <string.h>
#include <string>
#include "base/error_info.h"
#include "builtin_fixture.h"
#include "lang/evaluator.h"
#include "lang/fpfault.h"
#include "lang/lexer.h"
#include "lib/dispatch.h"

namespace {

class MathBuiltins : public BuiltinTest {
protected:
    void reset() {
        for (Value& arg : args) ReleaseValue(st, &arg.v, RK_VALUE, 0);
        for (Value& arg : args) SetInteger(&arg.v, RK_VALUE, 0, 0);
        ReleaseValue(st, &result.v, RK_VALUE, 0);
        st->error = 0;
    }

    bool call(const char* name, int count) {
        return DispatchFunction(st, name, false, id_named(name), &result, args, count);
    }

    // name(x) for a float argument; the error number, 0 on success.
    int call_float(const char* name, double x) {
        reset();
        args[1].v.real = x;
        args[1].v.flags = VF_FLOAT;
        return call(name, 1) ? 0 : st->error;
    }

    int32_t call_int(const char* name, int32_t n) {
        reset();
        SetInteger(&args[1].v, RK_VALUE, 0, n);
        EXPECT_TRUE(call(name, 1)) << name << "(" << n << ") error " << st->error;
        EXPECT_TRUE(result.v.flags & VF_INT);
        return result.v.integer;
    }

    int32_t test_text(const char* name, const char* text) {
        reset();
        EXPECT_TRUE(set_value_text(st, &args[1].v, text, strlen(text)));
        EXPECT_TRUE(call(name, 1)) << name << "(\"" << text << "\")";
        return result.v.integer;
    }

    int32_t test_float(const char* name, double x) {
        reset();
        args[1].v.real = x;
        args[1].v.flags = VF_FLOAT;
        EXPECT_TRUE(call(name, 1));
        return result.v.integer;
    }
};

// ------------------------------------------------------------------ float functions

TEST_F(MathBuiltins, FloatFunctionsReturnFloats) {
    ASSERT_EQ(call_float("sqrt", 6.25), 0);
    EXPECT_EQ(result.v.flags, static_cast<uint32_t>(VF_FLOAT));
    EXPECT_DOUBLE_EQ(result.v.real, 2.5);

    ASSERT_EQ(call_float("log10", 1000.0), 0);
    EXPECT_DOUBLE_EQ(result.v.real, 3.0);
    ASSERT_EQ(call_float("loge", 1.0), 0);
    EXPECT_DOUBLE_EQ(result.v.real, 0.0);
    ASSERT_EQ(call_float("atan", 1.0), 0);
    EXPECT_DOUBLE_EQ(result.v.real * 4, 3.141592653589793);
}

TEST_F(MathBuiltins, CeilingFloorAndFabsStayFloats) {
    ASSERT_EQ(call_float("ceiling", 2.1), 0);
    EXPECT_EQ(result.v.flags, static_cast<uint32_t>(VF_FLOAT));
    EXPECT_EQ(result.v.real, 3.0);
    ASSERT_EQ(call_float("ceiling", -2.9), 0);
    EXPECT_EQ(result.v.real, -2.0);
    ASSERT_EQ(call_float("floor", -2.1), 0);
    EXPECT_EQ(result.v.real, -3.0);
    ASSERT_EQ(call_float("fabs", -2.5), 0);
    EXPECT_EQ(result.v.real, 2.5);
}

TEST_F(MathBuiltins, DomainErrors) {
    EXPECT_EQ(call_float("sqrt", -1.0), 1341);
    EXPECT_EQ(call_float("acos", 2.0), 1341);
    EXPECT_EQ(call_float("asin", -1.5), 1341);
    EXPECT_EQ(call_float("loge", -1.0), 1341);
    EXPECT_EQ(g_pending_fp_error, 0);  // raised, not left pending
}

TEST_F(MathBuiltins, SingularityAtZeroOfTheLogarithms) {
    EXPECT_EQ(call_float("loge", 0.0), 1344);
    EXPECT_EQ(call_float("log10", 0.0), 1344);
}

TEST_F(MathBuiltins, OverflowAndUnderflow) {
    EXPECT_EQ(call_float("exp", 1000.0), 1342);
    EXPECT_EQ(call_float("cosh", 1000.0), 1342);
    EXPECT_EQ(call_float("sinh", -1000.0), 1342);
    // Underflow is no error and gives exactly 0.0, also where the library
    // would return a denormal.
    ASSERT_EQ(call_float("exp", -1000.0), 0);
    EXPECT_EQ(result.v.real, 0.0);
    ASSERT_EQ(call_float("exp", -740.0), 0);
    EXPECT_EQ(result.v.real, 0.0);
    ASSERT_EQ(call_float("exp", 709.0), 0);  // the largest whole power that fits
    EXPECT_GT(result.v.real, 8.2e307);
}

// ------------------------------------------------------------------ integers

TEST_F(MathBuiltins, AbsAndInt) {
    EXPECT_EQ(call_int("abs", -7), 7);
    EXPECT_EQ(call_int("abs", 0), 0);
    EXPECT_EQ(call_int("abs", INT32_MIN), INT32_MIN);  // 32-bit negation wraps
    EXPECT_EQ(test_float("int", 2.5), 3);
    EXPECT_EQ(test_float("int", -2.5), -3);
    EXPECT_EQ(test_float("int", 2.49), 2);
    EXPECT_EQ(test_text("int", "7.5"), 8);
}

TEST_F(MathBuiltins, DecimalsClampsAndReturnsThePreviousSetting) {
    ASSERT_EQ(st->decimals, -1);
    EXPECT_EQ(call_int("decimals", 12), -1);
    EXPECT_EQ(st->decimals, 8);
    EXPECT_EQ(call_int("decimals", -5), 8);
    EXPECT_EQ(st->decimals, -1);
    EXPECT_EQ(call_int("decimals", -3), -1);
    EXPECT_EQ(st->decimals, -3);
    EXPECT_EQ(call_int("decimals", 2), -3);
    EXPECT_EQ(st->decimals, 2);
}

TEST_F(MathBuiltins, RandomStaysWithinZeroToMax) {
    bool low = false, high = false;
    for (int i = 0; i < 2000; ++i) {
        int32_t r = call_int("random", 10);
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 10);
        low |= r == 0;
        high |= r == 10;
    }
    EXPECT_TRUE(low && high) << "both ends of 0..10 are reachable";
    EXPECT_EQ(call_int("random", 0), 0);
    EXPECT_EQ(call_int("random", -5), 0);
    // Beyond the generator's 15 bits a call.
    bool above_15_bits = false;
    for (int i = 0; i < 50; ++i) {
        int32_t r = call_int("random", INT32_MAX);
        ASSERT_GE(r, 0);
        above_15_bits |= r > 32767;
    }
    EXPECT_TRUE(above_15_bits);
}

// ------------------------------------------------------------------ number tests

TEST_F(MathBuiltins, IsIntAcceptsIntegersAndIntegerTexts) {
    EXPECT_EQ(call_int("isint", 5), 1);
    EXPECT_EQ(test_text("isint", "42"), 1);
    EXPECT_EQ(test_text("isint", "  -7"), 1);
    EXPECT_EQ(test_text("isint", "4.2"), 0);
    EXPECT_EQ(test_text("isint", "42 "), 0);
    EXPECT_EQ(test_text("isint", ""), 0);
    EXPECT_EQ(test_text("isint", "-"), 0);
    EXPECT_EQ(test_text("isint", "abc"), 0);
    EXPECT_EQ(test_float("isint", 2.0), 0);
}

TEST_F(MathBuiltins, IsFloatAndIsNumberAcceptEveryNumber) {
    for (const char* name : {"isfloat", "isnumber"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(test_text(name, "4.2"), 1);
        EXPECT_EQ(test_text(name, "-1e5"), 1);
        EXPECT_EQ(test_text(name, "12"), 1);
        EXPECT_EQ(call_int(name, 3), 1);
        EXPECT_EQ(test_float(name, 0.5), 1);
        EXPECT_EQ(test_text(name, "1d5"), 0);
        EXPECT_EQ(test_text(name, "abc"), 0);
        EXPECT_EQ(test_text(name, ""), 0);
        EXPECT_EQ(test_text(name, "1e999"), 0);  // overflow is no number, and no error
    }
}

TEST_F(MathBuiltins, NumberTestsReadWideText) {
    reset();
    ASSERT_TRUE(set_value_wtext(st, &args[1].v, L"12", 2));
    ASSERT_TRUE(call("isint", 1));
    EXPECT_EQ(result.v.integer, 1);
}

TEST_F(MathBuiltins, NumberTestsJudgeVariantsByTheirText) {
    auto test_variant = [&](const char* name, VARTYPE type, double real, const wchar_t* text) {
        reset();
        args[1].v.variant.vt = type;
        if (type == VT_R8) args[1].v.variant.dblVal = real;
        if (type == VT_I4) args[1].v.variant.lVal = static_cast<LONG>(real);
        if (type == VT_BSTR) args[1].v.variant.bstrVal = SysAllocString(text);
        args[1].v.flags = VF_VARIANT;
        EXPECT_TRUE(call(name, 1));
        return result.v.integer;
    };
    EXPECT_EQ(test_variant("isint", VT_R8, 2.5, nullptr), 0);  // OLE alone would say I4 2
    EXPECT_EQ(test_variant("isint", VT_R8, 3.0, nullptr), 0);
    EXPECT_EQ(test_variant("isfloat", VT_R8, 2.5, nullptr), 1);
    EXPECT_EQ(test_variant("isint", VT_I4, 7, nullptr), 1);
    EXPECT_EQ(test_variant("isint", VT_BSTR, 0, L"2.5"), 0);
    EXPECT_EQ(test_variant("isnumber", VT_BSTR, 0, L"2.5"), 1);
    EXPECT_EQ(test_variant("isnumber", VT_BSTR, 0, L"x"), 0);
}

// ------------------------------------------------------------------ the rest

TEST_F(MathBuiltins, GetTickCount) {
    DWORD before = GetTickCount();
    ASSERT_TRUE(call("gettickcount", 0));
    DWORD after = GetTickCount();
    EXPECT_LE(static_cast<DWORD>(result.v.integer) - before, after - before);
}

TEST_F(MathBuiltins, VersionTexts) {
    ASSERT_TRUE(call("version", 0));
    ASSERT_EQ(result.v.flags, static_cast<uint32_t>(VF_STRING));
    std::string version = value_text(st, result.v);
    EXPECT_FALSE(version.empty());
    EXPECT_NE(version.find('.'), std::string::npos);
    reset();
    ASSERT_TRUE(call("versiondll", 0));
    EXPECT_EQ(version, value_text(st, result.v));
}

// ------------------------------------------------------------------ own argument lists

class MathOwnList : public EngineTest {
protected:
    Value value;

    void SetUp() override {
        EngineTest::SetUp();
        init_value(&value);
    }
    void TearDown() override {
        release_value(st, &value);
        EngineTest::TearDown();
    }

    // Evaluates a whole expression line; the error number, 0 on success.
    int evaluate(const char* line) {
        release_value(st, &value);
        st->error = 0;
        lexer_start(st, line);
        get_token(st);
        if (st->error) return st->error;
        if (!ProcessSubExpression(st, &value, 0, 0)) return st->error;
        EXPECT_EQ(st->lexer.kind, TK_END) << "left over after " << line;
        return st->error;
    }
};

TEST_F(MathOwnList, IntegersGiveIntegers) {
    ASSERT_EQ(evaluate("Max(1, 5, 3)"), 0);
    EXPECT_EQ(value.v.flags, static_cast<uint32_t>(VF_INT));
    EXPECT_EQ(value.v.integer, 5);
    ASSERT_EQ(evaluate("Min(4, -2, 9)"), 0);
    EXPECT_EQ(value.v.integer, -2);
    ASSERT_EQ(evaluate("Max(\"7\", 3)"), 0);
    EXPECT_EQ(value.v.integer, 7);
    ASSERT_EQ(evaluate("Min(-3)"), 0);
    EXPECT_EQ(value.v.integer, -3);
}

TEST_F(MathOwnList, AnyFloatGivesAFloat) {
    ASSERT_EQ(evaluate("Min(4, -2.5, \"3\")"), 0);
    EXPECT_EQ(value.v.flags, static_cast<uint32_t>(VF_FLOAT));
    EXPECT_EQ(value.v.real, -2.5);
    ASSERT_EQ(evaluate("Max(3, 2.5)"), 0);
    EXPECT_EQ(value.v.flags, static_cast<uint32_t>(VF_FLOAT));
    EXPECT_EQ(value.v.real, 3.0);
}

TEST_F(MathOwnList, AverageIsAlwaysAFloat) {
    ASSERT_EQ(evaluate("Average(1, 2)"), 0);
    EXPECT_EQ(value.v.flags, static_cast<uint32_t>(VF_FLOAT));
    EXPECT_EQ(value.v.real, 1.5);
    ASSERT_EQ(evaluate("Average(4)"), 0);
    EXPECT_EQ(value.v.real, 4.0);
}

TEST_F(MathOwnList, ArgumentsAreExpressionsAndTheCallEndsAtItsParenthesis) {
    ASSERT_EQ(evaluate("Max(1 + 1, (2 * 3), Min(8, 9)) + 1"), 0);
    EXPECT_EQ(value.v.integer, 9);
    ASSERT_EQ(evaluate("Max(1, 2) * Min(3, 4)"), 0);
    EXPECT_EQ(value.v.integer, 6);
}

TEST_F(MathOwnList, Errors) {
    EXPECT_EQ(evaluate("Min(1, \"x\")"), 3057);
    EXPECT_NE(strstr(error_info_text(st), "Argument number 2 could not be converted"), nullptr)
        << error_info_text(st);
    EXPECT_EQ(evaluate("Max(1 2)"), 3066);
    EXPECT_EQ(evaluate("Max(1, 2"), 3066);
    EXPECT_NE(evaluate("Max()"), 0);
}

}  // namespace
