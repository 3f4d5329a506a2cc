// Number/text conversions: integer printing and parsing, a float that is no
// number, and float parsing. Float printing under each Decimals setting runs
// in tests/scripts/math/float_text.qob.

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

TEST_F(FloatText, NotANumberIs1599) {
    EXPECT_EQ(Print(std::nan(""), -1), "<failed>");
    EXPECT_EQ(st->error, 1599);
    st->error = 0;
    EXPECT_EQ(Print(std::nan(""), 2), "<failed>");
    EXPECT_EQ(st->error, 1599);
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
