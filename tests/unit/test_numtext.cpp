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

// The minimum is printed as a literal in every radix.
TEST(NumText, IntToTextRadixes) {
    const struct { int32_t i; int radix; std::string want; } cases[] = {
        {255, 16, "FF"}, {0, 10, "0"}, {-255, 16, "-FF"}, {35, 36, "Z"}, {36, 36, "10"},
        {INT_MAX, 10, "2147483647"}, {INT_MAX, 2, std::string(31, '1')}, {-1, 2, "-1"},
        {INT_MIN, 10, "-2147483648"}, {INT_MIN, 16, "-2147483648"}};
    for (const auto& c : cases) EXPECT_EQ(IntText(c.i, c.radix), c.want) << c.i << " radix " << c.radix;
}

// TextToInt stops at the first non-digit, skips blanks but not tabs and wraps
// in 32 bits; TextToIntRadix answers -1 for a bad radix, -2 for a bad digit.
TEST(NumText, TextToInt) {
    const struct { const char* text; int32_t want; } plain[] = {
        {"  -42abc", -42}, {"+7", 7}, {"12.9", 12}, {"", 0}, {"\t5", 0}, {"-2147483648", INT_MIN}, {"4294967297", 1}};
    for (const auto& c : plain) EXPECT_EQ(TextToInt(c.text), c.want) << c.text;
    const struct { const char* text; int radix; int32_t want; } radix[] = {
        {"ff", 16, 255}, {"FF", 16, 255}, {"g", 16, -2}, {"1", 37, -1}, {"1", 1, -1}, {"", 10, 0},
        {"101", 2, 5}, {"2", 2, -2}, {"zz", 36, 35 * 36 + 35}, {"FFFFFFFF", 16, -1}, {"0000abcd", 16, 0xabcd},
        {"-1", 10, -2}};
    for (const auto& c : radix) EXPECT_EQ(TextToIntRadix(c.text, c.radix), c.want) << c.text << " " << c.radix;
}

TEST(NumText, ParseStrictInteger) {
    int32_t n = 0;
    const struct { const char* text; int32_t want; } good[] = {{" 42", 42}, {"  -7", -7}, {"+0", 0}, {"4294967296", 0}};
    for (const auto& c : good) {
        n = 99;
        EXPECT_TRUE(ParseStrictInteger(c.text, &n)) << c.text;
        EXPECT_EQ(n, c.want) << c.text;
    }
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
    EXPECT_EQ(take_error(), 1599);
    EXPECT_EQ(Print(std::nan(""), 2), "<failed>");
    EXPECT_EQ(st->error, 1599);
}

TEST_F(FloatText, ParsesPlainDecimalNotation) {
    const struct { const char* text; double want; } cases[] = {
        {"4.2", 4.2}, {" -4.2", -4.2}, {"1e5", 100000.0}, {"2.5E-1", 0.25}, {"5.", 5.0}, {".5", 0.5}, {"42", 42.0}};
    for (const auto& c : cases) {
        double x = 0;
        EXPECT_TRUE(TextToFloat(st, c.text, &x)) << c.text;
        EXPECT_DOUBLE_EQ(x, c.want) << c.text;
    }
    EXPECT_EQ(st->error, 0);
}

TEST_F(FloatText, RejectsOtherTextsWithoutError) {
    double x = 7.0;
    for (const char* bad : {"", "4.2 ", "1d5", "1D5", ".", "1e", "1e+", "inf", "nan", "0x10", "1.2.3", "--1", "abc"}) {
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
    EXPECT_EQ(failed(TextToFloat(st, "-1e999", &x)), 1342);
}

}  // namespace
