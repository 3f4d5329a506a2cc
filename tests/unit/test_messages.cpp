// Checks of the numbered message table (src/resources/messages.def).

#include "base/error_numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

namespace {

std::string TextOf(uint16_t number) {
    const char* text = BuiltInMessageText(number);
    return text ? std::string(text) : std::string("<missing>");
}

TEST(Messages, NumbersStrictlyIncreasing) {
    ASSERT_GT(kMessageCount, 1u);
    for (std::size_t i = 1; i < kMessageCount; ++i) {
        EXPECT_LT(kMessageTexts[i - 1].number, kMessageTexts[i].number)
            << "entry " << i << " is out of order or repeats a number";
    }
}

TEST(Messages, NumbersUniqueAndNonZero) {
    std::set<uint16_t> seen;
    for (const MessageText& m : kMessageTexts) {
        EXPECT_NE(m.number, 0) << "0 is Err::None";
        EXPECT_TRUE(seen.insert(m.number).second) << "duplicate " << m.number;
    }
    EXPECT_EQ(seen.size(), kMessageCount);
}

TEST(Messages, TextsNonEmptyWithoutDoubleQuotes) {
    for (const MessageText& m : kMessageTexts) {
        ASSERT_NE(m.text, nullptr) << m.number;
        EXPECT_GT(std::strlen(m.text), 0u) << m.number;
        // The same list feeds the resource compiler, which quotes differently.
        EXPECT_EQ(std::strchr(m.text, '"'), nullptr) << m.number;
    }
}

TEST(Messages, EnumMatchesTable) {
    EXPECT_EQ(static_cast<uint16_t>(Err::None), 0);
    EXPECT_EQ(static_cast<uint16_t>(Err::EngineVersion), 99);
    EXPECT_EQ(static_cast<uint16_t>(Err::UndefinedVariable), 3051);
    EXPECT_EQ(static_cast<uint16_t>(Err::UserCancel), 9999);
    EXPECT_STREQ(BuiltInMessageText(Err::UndefinedVariable), "Undefined variable or function");
    EXPECT_EQ(BuiltInMessageText(Err::None), nullptr);
    EXPECT_EQ(BuiltInMessageText(uint16_t{3058}), nullptr);
    EXPECT_EQ(kMessageTexts[0].number, 99);
}

TEST(Messages, ExactTexts) {
    EXPECT_EQ(TextOf(99), "1.0.0");
    EXPECT_EQ(TextOf(3096), "Memory allocation failure.  Out of memory for strings");
    EXPECT_EQ(TextOf(3357), "End Error: No match  found");
    EXPECT_EQ(TextOf(530), "Menu/Batch file too big  >>64K");
    EXPECT_EQ(TextOf(730), " popup menu");
    EXPECT_EQ(TextOf(731), " menu item");
    EXPECT_EQ(TextOf(503), "Undefined error code -> ");
    EXPECT_EQ(TextOf(211),
              "Encrypted/Encoded verification failed.  \n\n"
              "If you are CALL'ing a TQT from a compiled \n"
              "program, you must encode the TQT using \n"
              "the compiler's Encode option.");
    EXPECT_EQ(TextOf(3048), "Substitution %Variable% not followed by a % (Use %% for %)");
    EXPECT_EQ(TextOf(9503), "Argument number %d could not be converted");
    EXPECT_EQ(TextOf(3053), "Character string too long (>2048 chars?" "?)");
    EXPECT_EQ(TextOf(806), "= ??? Unknown Variable");
    EXPECT_EQ(TextOf(9999), "User requested Cancel");
}

}  // namespace
