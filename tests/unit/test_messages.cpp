// The numbered message table (src/resources/messages.def) is searched by
// halving and feeds the resource compiler: its order and its texts must
// suit both.
#include <gtest/gtest.h>
#include <cstring>
#include "base/error_numbers.h"

namespace {

TEST(Messages, NumbersStrictlyIncreasingFromAboveZero) {
    ASSERT_GT(kMessageCount, 1u);
    EXPECT_NE(kMessageTexts[0].number, 0) << "0 is Err::None";
    for (std::size_t i = 1; i < kMessageCount; ++i)
        EXPECT_LT(kMessageTexts[i - 1].number, kMessageTexts[i].number) << "entry " << i << " is out of order or repeats";
}

TEST(Messages, TextsNonEmptyWithoutDoubleQuotes) {
    for (const MessageText& m : kMessageTexts) {
        ASSERT_NE(m.text, nullptr) << m.number;
        EXPECT_GT(std::strlen(m.text), 0u) << m.number;
        // The resource compiler quotes differently.
        EXPECT_EQ(std::strchr(m.text, '"'), nullptr) << m.number;
    }
    EXPECT_EQ(BuiltInMessageText(uint16_t{3058}), nullptr) << "a number without a row has no text";
}

}  // namespace
