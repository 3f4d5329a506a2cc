// Number/text conversions: integer printing and parsing, float printing
// under each Decimals setting, float parsing and the variant-type names.

#include "lang/numtext.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include "engine_fixture.h"

namespace {

std::string IntText(int32_t i, int radix) {
    char buffer[INT_TEXT_BYTES];
    IntToText(i, buffer, radix);
    return buffer;
}

TEST(NumText, IntToTextRadixes) {
    EXPECT_EQ(IntText(255, 16), "FF");
    EXPECT_EQ(IntText(0, 10), "0");
    EXPECT_EQ(IntText(-255, 16), "-FF");
    EXPECT_EQ(IntText(35, 36), "Z");
    EXPECT_EQ(IntText(36, 36), "10");
    EXPECT_EQ(IntText(INT_MAX, 10), "2147483647");
    EXPECT_EQ(IntText(INT_MAX, 2), std::string(31, '1'));
    EXPECT_EQ(IntText(-1, 2), "-1");
}

TEST(NumText, IntToTextMinimumIsLiteralInEveryRadix) {
    EXPECT_EQ(IntText(INT_MIN, 10), "-2147483648");
    EXPECT_EQ(IntText(INT_MIN, 16), "-2147483648");
}

TEST(NumText, TextToIntStopsAtFirstNonDigit) {
    EXPECT_EQ(TextToInt("  -42abc"), -42);
    EXPECT_EQ(TextToInt("+7"), 7);
    EXPECT_EQ(TextToInt("12.9"), 12);
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("\t5"), 0);  // blanks only, not tabs
    EXPECT_EQ(TextToInt("-2147483648"), INT_MIN);
    EXPECT_EQ(TextToInt("4294967297"), 1);  // wraps in 32 bits
    EXPECT_EQ(TextToIntW(L" -99x"), -99);
}

TEST(NumText, IsIntegerText) {
    EXPECT_TRUE(IsIntegerText(" \t-12 \t"));
    EXPECT_TRUE(IsIntegerText(""));   // no digits is allowed
    EXPECT_TRUE(IsIntegerText("+"));
    EXPECT_FALSE(IsIntegerText("4.2"));
    EXPECT_FALSE(IsIntegerText("12a"));
    EXPECT_FALSE(IsIntegerText("+-1"));
    EXPECT_FALSE(IsIntegerText("1 2"));
    EXPECT_TRUE(IsIntegerTextW(L" 77 "));
    EXPECT_FALSE(IsIntegerTextW(L"7e"));
}

TEST(NumText, IsHexText) {
    EXPECT_TRUE(IsHexText(" -1aF\t"));
    EXPECT_TRUE(IsHexText("09afAF"));
    EXPECT_FALSE(IsHexText("fg"));
    EXPECT_FALSE(IsHexText("0x1F"));
}

TEST(NumText, TextToIntRadix) {
    EXPECT_EQ(TextToIntRadix("ff", 16), 255);
    EXPECT_EQ(TextToIntRadix("FF", 16), 255);
    EXPECT_EQ(TextToIntRadix("g", 16), -2);
    EXPECT_EQ(TextToIntRadix("1", 37), -1);
    EXPECT_EQ(TextToIntRadix("1", 1), -1);
    EXPECT_EQ(TextToIntRadix("", 10), 0);
    EXPECT_EQ(TextToIntRadix("101", 2), 5);
    EXPECT_EQ(TextToIntRadix("2", 2), -2);  // a digit equal to the radix
    EXPECT_EQ(TextToIntRadix("zz", 36), 35 * 36 + 35);
    EXPECT_EQ(TextToIntRadix("FFFFFFFF", 16), -1);  // unsigned sum, wrapped
    EXPECT_EQ(TextToIntRadix("0000abcd", 16), 0xabcd);
    EXPECT_EQ(TextToIntRadix("-1", 10), -2);
}

TEST(NumText, ParseStrictInteger) {
    int32_t n = 0;
    EXPECT_TRUE(ParseStrictInteger(" 42", &n));
    EXPECT_EQ(n, 42);
    EXPECT_TRUE(ParseStrictInteger("  -7", &n));
    EXPECT_EQ(n, -7);
    EXPECT_TRUE(ParseStrictInteger("+0", &n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(ParseStrictInteger("4294967296", &n));
    EXPECT_EQ(n, 0);
    n = 99;
    for (const char* bad : {"42 ", "4.2", "", " ", "-", "--1", "+-1", "\t1", "1d5", "0x10", "- 1"}) {
        EXPECT_FALSE(ParseStrictInteger(bad, &n)) << '"' << bad << '"';
    }
    EXPECT_EQ(n, 99) << "a failed parse must leave the output alone";
}

// Float printing and parsing need the engine state (Decimals, error word).
class FloatText : public EngineTest {
protected:
    std::string Print(double x, int decimals = -1) {
        st->decimals = decimals;
        char buffer[FLOAT_TEXT_BYTES];
        if (!FloatToText(st, x, buffer)) return "<failed>";
        return buffer;
    }
};

TEST_F(FloatText, DefaultSettingFixedForm) {
    EXPECT_EQ(Print(1.5), "1.5");
    EXPECT_EQ(Print(2.0), "2.0");
    EXPECT_EQ(Print(-2.5), "-2.5");
    EXPECT_EQ(Print(100.0), "100.0");
    EXPECT_EQ(Print(1.0 / 3.0), "0.33333333");
    EXPECT_EQ(Print(2.0 / 3.0), "0.66666667");
    EXPECT_EQ(Print(0.0001), "0.0001");
    EXPECT_EQ(Print(999999999.0), "999999999.0");
}

TEST_F(FloatText, DefaultSettingZero) {
    EXPECT_EQ(Print(0.0), "0.0");
    EXPECT_EQ(Print(-0.0), "0.0");
}

// The system C library (msvcrt) prints exponents with three digits; the
// engine keeps that form rather than the two digits of C99 printf.
TEST_F(FloatText, DefaultSettingExponentForm) {
    EXPECT_EQ(Print(1234567890.0), "1.23456789e+009");
    EXPECT_EQ(Print(-1000000000.0), "-1.00000000e+009");
    EXPECT_EQ(Print(0.00001), "1.00000000e-005");
    EXPECT_EQ(Print(0.00009999), "9.99900000e-005");
}

TEST_F(FloatText, FixedDecimals) {
    EXPECT_EQ(Print(3.14159, 2), "3.14");
    EXPECT_EQ(Print(2.0, 2), "2.00");
    EXPECT_EQ(Print(0.0, 2), "0.00");
    EXPECT_EQ(Print(0.00001, 2), "0.00");  // small numbers only go exponent at -1
    EXPECT_EQ(Print(1.0 / 3.0, 8), "0.33333333");
    EXPECT_EQ(Print(0.5, 1), "0.5");
    EXPECT_EQ(Print(1234567890.0, 2), "1.23e+009");
}

TEST_F(FloatText, ZeroDecimalsRoundsHalfAwayFromZero) {
    EXPECT_EQ(Print(2.5, 0), "3");
    EXPECT_EQ(Print(-2.5, 0), "-3");
    EXPECT_EQ(Print(2.49, 0), "2");
    EXPECT_EQ(Print(0.0, 0), "0");
    EXPECT_EQ(Print(2147483647.0, 0), "2147483647");
    EXPECT_EQ(Print(-2147483647.0, 0), "-2147483647");
    // Past the integer range the exponent form takes over, with no digits
    // after the point.
    EXPECT_EQ(Print(3e9, 0), "3.e+009");
}

TEST_F(FloatText, GeneralAndExponentSettings) {
    EXPECT_EQ(Print(0.5, -2), "0.5");
    EXPECT_EQ(Print(100000.0, -2), "100000");
    EXPECT_EQ(Print(1e20, -2), "1e+020");
    EXPECT_EQ(Print(1.5, -3), "1.500000e+000");
    EXPECT_EQ(Print(-0.25, -3), "-2.500000e-001");
}

TEST_F(FloatText, NotANumberIs1599) {
    EXPECT_EQ(Print(std::nan(""), -1), "<failed>");
    EXPECT_EQ(st->error, 1599);
    st->error = 0;
    EXPECT_EQ(Print(std::nan(""), 2), "<failed>");
    EXPECT_EQ(st->error, 1599);
}

TEST_F(FloatText, DecimalsClamp) {
    st->decimals = -1;
    EXPECT_EQ(set_decimals(st, 9), -1);
    EXPECT_EQ(st->decimals, 8);
    EXPECT_EQ(set_decimals(st, -3), 8);
    EXPECT_EQ(st->decimals, -3);
    EXPECT_EQ(set_decimals(st, -4), -3);
    EXPECT_EQ(st->decimals, -1);
    EXPECT_EQ(set_decimals(st, 0), -1);
    EXPECT_EQ(st->decimals, 0);
}

TEST_F(FloatText, ParsesPlainDecimalNotation) {
    double x = 0;
    EXPECT_TRUE(TextToFloat(st, "4.2", &x));
    EXPECT_DOUBLE_EQ(x, 4.2);
    EXPECT_TRUE(TextToFloat(st, " -4.2", &x));
    EXPECT_DOUBLE_EQ(x, -4.2);
    EXPECT_TRUE(TextToFloat(st, "1e5", &x));
    EXPECT_DOUBLE_EQ(x, 100000.0);
    EXPECT_TRUE(TextToFloat(st, "2.5E-1", &x));
    EXPECT_DOUBLE_EQ(x, 0.25);
    EXPECT_TRUE(TextToFloat(st, "5.", &x));
    EXPECT_DOUBLE_EQ(x, 5.0);
    EXPECT_TRUE(TextToFloat(st, ".5", &x));
    EXPECT_DOUBLE_EQ(x, 0.5);
    EXPECT_TRUE(TextToFloat(st, "42", &x));
    EXPECT_DOUBLE_EQ(x, 42.0);
    EXPECT_EQ(st->error, 0);
}

TEST_F(FloatText, RejectsOtherTextsWithoutError) {
    double x = 7.0;
    for (const char* bad : {"", "4.2 ", "1d5", "1D5", ".", "1e", "1e+", "inf", "nan", "0x10", "1.2.3",
                            "--1", "abc"}) {
        EXPECT_FALSE(TextToFloat(st, bad, &x)) << '"' << bad << '"';
    }
    EXPECT_DOUBLE_EQ(x, 7.0);
    EXPECT_EQ(st->error, 0);
}

TEST_F(FloatText, OverflowIs1342UnderflowIsZero) {
    double x = 7.0;
    EXPECT_TRUE(TextToFloat(st, "1e-999", &x));
    EXPECT_EQ(x, 0.0);
    EXPECT_TRUE(TextToFloat(st, "1e-310", &x));  // denormal
    EXPECT_GT(x, 0.0);
    EXPECT_EQ(st->error, 0);
    EXPECT_FALSE(TextToFloat(st, "-1e999", &x));
    EXPECT_EQ(st->error, 1342);
}

}  // namespace
