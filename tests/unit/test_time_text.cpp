// The exported YmdHms parser's contract for extenders, and the [intl]
// fallback layouts of the display texts, which the platform's formatting
// services hide from scripts.

#include "lib/time_text.h"
#include "lib/ymdhms.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ParseYmdhmsExport, FillsSixFieldsAndWidensYears) {
    int32_t f[6] = {-1, -1, -1, -1, -1, -1};
    ASSERT_EQ(ParseYMDHMS("99:2:28:23:59:58", f, 1, 1), 1);
    EXPECT_EQ(f[0], 1999);
    EXPECT_EQ(f[1], 2);
    EXPECT_EQ(f[2], 28);
    EXPECT_EQ(f[3], 23);
    EXPECT_EQ(f[4], 59);
    EXPECT_EQ(f[5], 58);
    ASSERT_EQ(ParseYMDHMS("99:2:28", f, 1, 0), 1);
    EXPECT_EQ(f[0], 99);
    EXPECT_EQ(f[3], 0);
}

TEST(ParseYmdhmsExport, ModesCheckWhatTheySay) {
    int32_t f[6];
    // Intervals take any digits.
    EXPECT_EQ(ParseYMDHMS("0:0:40:99:99:99", f, 0, 0), 1);
    EXPECT_EQ(f[3], 99);
    EXPECT_EQ(ParseYMDHMS("0:0:40:99:99:99", f, 1, 0), 0);
    // Hour 24 only for day numbers, where it is midnight.
    EXPECT_EQ(ParseYMDHMS("2000:01:01:24:00:00", f, 1, 1), 0);
    ASSERT_EQ(ParseYMDHMS("2000:01:01:24:00:00", f, 2, 1), 1);
    EXPECT_EQ(f[3], 0);
    // A time of day ignores the date fields.
    EXPECT_EQ(ParseYMDHMS("0:0:0:08:30:00", f, 3, 1), 1);
    EXPECT_EQ(ParseYMDHMS("0:0:0:08:60:00", f, 3, 1), 0);
    EXPECT_EQ(ParseYMDHMS("2000:01:01", f, 4, 1), 0);
    EXPECT_EQ(ParseYMDHMS(nullptr, f, 1, 1), 0);
    EXPECT_EQ(ParseYMDHMS("2000:01:01", nullptr, 1, 1), 1);
}

TEST(ParseYmdhmsExport, RefusedTextLeavesFieldsAlone) {
    int32_t f[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(ParseYMDHMS("2000:02:30", f, 1, 1), 0);
    EXPECT_EQ(f[0], 7);
    EXPECT_EQ(f[2], 7);
}

SYSTEMTIME moment(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

std::string fallback(const IntlSettings& intl, const SYSTEMTIME& t, IntlLayout layout) {
    char text[256];
    intl_date_time(intl, t, layout, text, sizeof text);
    return text;
}

IntlSettings us_settings() {
    IntlSettings intl = {0, false, '/', ':', "AM", "PM", false};
    return intl;
}

TEST(IntlFallback, DateOrderAndYearDigits) {
    IntlSettings intl = us_settings();
    intl.clock24 = true;
    const SYSTEMTIME t = moment(2004, 3, 7, 9, 5, 1);
    EXPECT_EQ(fallback(intl, t, IntlLayout::DateTime), " 3/07/04  9:05:01");
    intl.date_order = 1;
    intl.date_separator = '.';
    EXPECT_EQ(fallback(intl, t, IntlLayout::DateTime), " 7.03.04  9:05:01");
    intl.date_order = 2;
    intl.date_separator = '-';
    intl.four_digit_year = true;
    EXPECT_EQ(fallback(intl, t, IntlLayout::DateTime), "2004-03-07  9:05:01");
}

TEST(IntlFallback, TwelveHourClock) {
    const IntlSettings intl = us_settings();
    EXPECT_EQ(fallback(intl, moment(2004, 12, 25, 0, 0, 0), IntlLayout::DateTime), "12/25/04 12:00:00 AM");
    EXPECT_EQ(fallback(intl, moment(2004, 12, 25, 11, 59, 59), IntlLayout::DateTime), "12/25/04 11:59:59 AM");
    EXPECT_EQ(fallback(intl, moment(2004, 12, 25, 12, 0, 0), IntlLayout::DateTime), "12/25/04 12:00:00 PM");
    EXPECT_EQ(fallback(intl, moment(2004, 12, 25, 13, 4, 5), IntlLayout::DateTime), "12/25/04  1:04:05 PM");
}

TEST(IntlFallback, FileTimeLineShowsMinutesWithSuffixAttached) {
    IntlSettings intl = us_settings();
    EXPECT_EQ(fallback(intl, moment(1999, 1, 2, 23, 7, 30), IntlLayout::FileTime), " 1/02/99  11:07PM");
    intl.clock24 = true;
    EXPECT_EQ(fallback(intl, moment(1999, 1, 2, 23, 7, 30), IntlLayout::FileTime), " 1/02/99  23:07");
}

}  // namespace
