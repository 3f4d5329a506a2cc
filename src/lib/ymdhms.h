// YmdHms texts ("yyyy:mm:dd:hh:mm:ss") and the calendar arithmetic on them:
// parsing, writing, day numbers and the interval arithmetic that the time
// functions, the file times and the registry times share.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include "base/exports.h"

// The six fields in the order they are written.
struct Ymdhms {
    int32_t year, month, day, hour, minute, second;
};

// The moment as the platform's calendar record (milliseconds 0).
inline SYSTEMTIME ymdhms_system_time(const Ymdhms& t) {
    SYSTEMTIME s{};
    s.wYear = static_cast<WORD>(t.year);
    s.wMonth = static_cast<WORD>(t.month);
    s.wDay = static_cast<WORD>(t.day);
    s.wHour = static_cast<WORD>(t.hour);
    s.wMinute = static_cast<WORD>(t.minute);
    s.wSecond = static_cast<WORD>(t.second);
    return s;
}

// How much a parse checks.
enum class YmdhmsCheck {
    None = 0,       // intervals: any digits
    Full = 1,       // a real moment
    JulianDay = 2,  // as Full, but hour 24 is read as 0 and the time is not checked
    TimeOfDay = 3,  // only the time of day is checked
};

// Reads `text`; with `fix_year`, a year of one or two digits becomes 20yy
// below 50 and 19yy otherwise. False when the text is not valid under `check`.
[[nodiscard]] bool parse_ymdhms(const char* text, Ymdhms* out, YmdhmsCheck check, bool fix_year);

// The same for extenders and other modules: `fields` receives six integers.
KESTR_API int ParseYMDHMS(const char* text, int32_t* fields, int mode, int fix_year);

// Room for any text format_ymdhms writes, terminator included.
constexpr size_t YMDHMS_TEXT_BYTES = 32;

// "%04d:%02d:%02d:%02d:%02d:%02d", or the year's last two digits when
// `four_digit_year` is off.
void format_ymdhms(const Ymdhms& t, bool four_digit_year, char* out);

bool is_leap_year(int32_t year);
int32_t days_in_month(int32_t year, int32_t month);

// Days of the proleptic Gregorian calendar with a year 0: day 1 is
// 0000-01-01. Defined for years 0 to 9999.
int32_t day_number(int32_t year, int32_t month, int32_t day);
// The date of day number `day` (1 or more), time fields 0.
Ymdhms date_of_day_number(int32_t day);

// `base` moved forward or back by `interval` (any field sizes). False when
// the result falls before year 0 or after year 9999.
[[nodiscard]] bool ymdhms_add(const Ymdhms& base, const Ymdhms& interval, Ymdhms* out);
[[nodiscard]] bool ymdhms_subtract(const Ymdhms& base, const Ymdhms& interval, Ymdhms* out);

// a - b in calendar units (years, months, days, hours, minutes, seconds),
// each field borrowing from the next larger one. False when b lies after a.
[[nodiscard]] bool ymdhms_difference(const Ymdhms& a, const Ymdhms& b, Ymdhms* out);

// -1, 0 or 1 as a is before, equal to or after b, field by field.
int ymdhms_compare(const Ymdhms& a, const Ymdhms& b);
