// Display texts of a moment in the system locale, and the [intl] profile
// fallback for systems whose formatting services fail.
#include "lib/time_text.h"

#include <stdio.h>
#include <string.h>
#include "base/error_numbers.h"
#include "base/messages.h"

namespace {

constexpr size_t kPartBytes = 128;

char profile_character(const char* key, const char* fallback) {
    char text[8];
    GetProfileStringA("intl", key, fallback, text, sizeof text);
    return text[0] ? text[0] : fallback[0];
}

int profile_number(const char* key, int fallback) {
    return static_cast<int>(GetProfileIntA("intl", key, fallback));
}

void intl_date(const IntlSettings& intl, const SYSTEMTIME& t, char* out, size_t size) {
    char year[8];
    snprintf(year, sizeof year, intl.four_digit_year ? "%d" : "%02d",
             intl.four_digit_year ? t.wYear : t.wYear % 100);
    const char sep = intl.date_separator;
    if (intl.date_order == 2)
        snprintf(out, size, "%s%c%02d%c%02d", year, sep, t.wMonth, sep, t.wDay);
    else if (intl.date_order == 1)
        snprintf(out, size, "%2d%c%02d%c%s", t.wDay, sep, t.wMonth, sep, year);
    else
        snprintf(out, size, "%2d%c%02d%c%s", t.wMonth, sep, t.wDay, sep, year);
}

// Hours on the clock of `intl`: a 12-hour clock shows 0, 12 and 24 as 12.
int clock_hour(const IntlSettings& intl, int hour) {
    if (intl.clock24) return hour;
    if (hour == 0 || hour == 12 || hour == 24) return 12;
    return hour > 12 ? hour - 12 : hour;
}

const char* clock_suffix(const IntlSettings& intl, int hour) {
    if (intl.clock24) return "";
    return hour < 12 ? intl.morning : intl.afternoon;
}

// The short date and the time of the system locale; false when the
// platform cannot format them.
bool platform_date_time(const SYSTEMTIME& t, char* date, char* time) {
    return GetDateFormatA(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, kPartBytes) > 0 &&
           GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, 0, &t, nullptr, time, kPartBytes) > 0;
}

}  // namespace

void read_intl_settings(IntlSettings* out) {
    out->date_order = profile_number("iDate", 0);
    out->clock24 = profile_number("iTime", 0) == 1;
    out->date_separator = profile_character("sDate", "/");
    out->time_separator = profile_character("sTime", ":");
    GetProfileStringA("intl", "s1159", "AM", out->morning, sizeof out->morning);
    GetProfileStringA("intl", "s2359", "PM", out->afternoon, sizeof out->afternoon);
    char pattern[80];
    GetProfileStringA("intl", "sShortDate", "M/d/yy", pattern, sizeof pattern);
    out->four_digit_year = strstr(pattern, "yyy") != nullptr;
}

void intl_date_time(const IntlSettings& intl, const SYSTEMTIME& t, IntlLayout layout, char* out,
                    size_t size) {
    char date[kPartBytes];
    intl_date(intl, t, date, sizeof date);
    const int hour = clock_hour(intl, t.wHour);
    const char* suffix = clock_suffix(intl, t.wHour);
    const char sep = intl.time_separator;
    if (layout == IntlLayout::FileTime) {
        snprintf(out, size, "%s  %2d%c%02d%s", date, hour, sep, t.wMinute, suffix);
        return;
    }
    snprintf(out, size, "%s %2d%c%02d%c%02d%s%s", date, hour, sep, t.wMinute, sep, t.wSecond,
             suffix[0] ? " " : "", suffix);
}

void display_date_time(EngineState* st, const SYSTEMTIME& t, char* out, size_t size) {
    char days[64];
    const int length = message_text(st, static_cast<int>(Err::WeekdayAbbreviations), days, sizeof days);
    char weekday[4] = "";
    if (length >= 3 * t.wDayOfWeek + 3) lstrcpynA(weekday, days + 3 * t.wDayOfWeek, sizeof weekday);

    char date[kPartBytes], time[kPartBytes];
    if (platform_date_time(t, date, time)) {
        snprintf(out, size, "%s %s %s", weekday, date, time);
        return;
    }
    IntlSettings intl;
    read_intl_settings(&intl);
    char both[2 * kPartBytes];
    intl_date_time(intl, t, IntlLayout::DateTime, both, sizeof both);
    snprintf(out, size, "%s %s", weekday, both);
}

void file_time_line(const SYSTEMTIME& t, char* out, size_t size) {
    char date[kPartBytes], time[kPartBytes];
    if (platform_date_time(t, date, time)) {
        snprintf(out, size, "%s  %s", date, time);
        return;
    }
    IntlSettings intl;
    read_intl_settings(&intl);
    intl_date_time(intl, t, IntlLayout::FileTime, out, size);
}

void exact_time(const SYSTEMTIME& t, char* out, size_t size) {
    char sep[8];
    GetProfileStringA("intl", "sTime", ":", sep, sizeof sep);
    snprintf(out, size, "%02d%s%02d%s%02d%s%02d", t.wHour, sep, t.wMinute, sep, t.wSecond, sep,
             t.wMilliseconds / 10);
}
