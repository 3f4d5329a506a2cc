// The exported YmdHms parser's modes, and the [intl] fallback layouts of
// the display texts, which the platform's formatting hides from scripts.

#include "lib/time_text.h"
#include "lib/ymdhms.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ParseYmdhmsExport, ModesAndFields) {
    int32_t f[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(ParseYMDHMS("2000:02:30", f, 1, 1), 0);
    EXPECT_EQ(f[0], 7);  // a refused text leaves the fields alone
    EXPECT_EQ(ParseYMDHMS("0:0:40:99:99:99", f, 0, 0), 1);  // intervals: any digits
    EXPECT_EQ(f[5], 99);
    EXPECT_EQ(ParseYMDHMS("0:0:0:08:60:00", f, 3, 1), 0);
    ASSERT_EQ(ParseYMDHMS("99:2:28:24:00:00", f, 2, 1), 1);  // hour 24 is midnight here only
    EXPECT_EQ(f[0] * 10000 + f[1] * 100 + f[2], 19990228);
    EXPECT_EQ(f[3], 0);
    EXPECT_EQ(ParseYMDHMS("99:2:28:24:00:00", f, 1, 1), 0);
}

std::string fallback(IntlSettings intl, WORD hour, IntlLayout layout = IntlLayout::DateTime) {
    SYSTEMTIME t = {};
    t.wYear = 2004, t.wMonth = 3, t.wDay = 7, t.wHour = hour, t.wMinute = 5, t.wSecond = 1;
    char text[256];
    intl_date_time(intl, t, layout, text, sizeof text);
    return text;
}

TEST(IntlFallback, DateOrdersClocksAndFileTimeLine) {
    IntlSettings intl = {0, false, '/', ':', "AM", "PM", false};
    EXPECT_EQ(fallback(intl, 0), " 3/07/04 12:05:01 AM");
    EXPECT_EQ(fallback(intl, 12), " 3/07/04 12:05:01 PM");
    EXPECT_EQ(fallback(intl, 13), " 3/07/04  1:05:01 PM");
    EXPECT_EQ(fallback(intl, 23, IntlLayout::FileTime), " 3/07/04  11:05PM");
    intl.clock24 = true, intl.date_order = 1, intl.date_separator = '.';
    EXPECT_EQ(fallback(intl, 0), " 7.03.04  0:05:01");
    intl.date_order = 2, intl.date_separator = '-', intl.four_digit_year = true;
    EXPECT_EQ(fallback(intl, 23, IntlLayout::FileTime), "2004-03-07  23:05");
}

}  // namespace
