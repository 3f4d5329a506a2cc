// YmdHms texts and calendar arithmetic: parsing, writing, day numbers and
// moving a moment by an interval.
#include "lib/ymdhms.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr int kFields = 6;
constexpr int32_t kLastYear = 9999;
// A field's digits stop here: larger values fit no date and would overflow
// the interval arithmetic.
constexpr int64_t kFieldLimit = 999999999;

int32_t* field_at(Ymdhms* t, int index) {
    int32_t* fields[kFields] = {&t->year, &t->month, &t->day, &t->hour, &t->minute, &t->second};
    return fields[index];
}

// The digits between the colons. Every field needs at least one digit.
bool read_fields(const char* text, Ymdhms* out, int* colons, int* year_digits) {
    *out = Ymdhms{};
    *colons = 0;
    *year_digits = 0;
    int digits = 0;
    int64_t value = 0;
    for (const char* p = text;; ++p) {
        if (*p == ':' || *p == '\0') {
            if (digits == 0) return false;
            *field_at(out, *colons) = static_cast<int32_t>(value);
            if (*colons == 0) *year_digits = digits;
            if (*p == '\0') return true;
            if (++*colons == kFields) return false;
            digits = 0;
            value = 0;
        } else if (*p >= '0' && *p <= '9') {
            value = value * 10 + (*p - '0');
            if (value > kFieldLimit) return false;
            ++digits;
        } else {
            return false;
        }
    }
}

bool time_of_day_valid(Ymdhms* t, YmdhmsCheck check) {
    if (check == YmdhmsCheck::JulianDay) {
        if (t->hour == 24) t->hour = 0;
        return true;
    }
    return t->hour < 24 && t->minute < 60 && t->second < 60;
}

bool date_valid(Ymdhms* t, int year_digits, bool fix_year) {
    if (t->day == 0 || t->month == 0 || t->month > 12 || year_digits > 4) return false;
    if (fix_year && year_digits <= 2) t->year += t->year < 50 ? 2000 : 1900;
    return t->day <= days_in_month(t->year, t->month);
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// base + sign × interval. Years and months move first, the day is cut to
// the length of the month reached (January 31 plus a month is the end of
// February), then days and the time move with carries in both directions.
bool shift(const Ymdhms& base, const Ymdhms& interval, int sign, Ymdhms* out) {
    int64_t month = int64_t{base.month} - 1 + sign * int64_t{interval.month};
    const int64_t year = base.year + sign * int64_t{interval.year} + floor_div(month, 12);
    month = floor_mod(month, 12) + 1;
    if (year < 0 || year > kLastYear) return false;
    const int32_t y = static_cast<int32_t>(year), m = static_cast<int32_t>(month);

    int64_t seconds = base.second + sign * int64_t{interval.second};
    int64_t minutes = base.minute + sign * int64_t{interval.minute} + floor_div(seconds, 60);
    int64_t hours = base.hour + sign * int64_t{interval.hour} + floor_div(minutes, 60);
    const int64_t cut_day = base.day < days_in_month(y, m) ? base.day : days_in_month(y, m);
    const int64_t days = cut_day + sign * int64_t{interval.day} + floor_div(hours, 24);

    const int64_t number = day_number(y, m, 1) + days - 1;
    if (number < 1 || number > day_number(kLastYear, 12, 31)) return false;
    *out = date_of_day_number(static_cast<int32_t>(number));
    out->hour = static_cast<int32_t>(floor_mod(hours, 24));
    out->minute = static_cast<int32_t>(floor_mod(minutes, 60));
    out->second = static_cast<int32_t>(floor_mod(seconds, 60));
    return true;
}

// Length of the month before `month` of `year`, as a day borrow sees it:
// February stretches to `later_day` (a 29th, 30th or 31st of the later
// time counts fully) and a 30-day month gains a day when `later_day` is 31.
int32_t borrowed_month_length(int32_t year, int32_t month, int32_t later_day) {
    const int32_t before = month == 1 ? 12 : month - 1;
    const int32_t length = days_in_month(month == 1 ? year - 1 : year, before);
    if (before == 2) return later_day > length ? later_day : length;
    if (length == 30 && later_day == 31) return 31;
    return length;
}

}  // namespace

bool parse_ymdhms(const char* text, Ymdhms* out, YmdhmsCheck check, bool fix_year) {
    Ymdhms t;
    int colons, year_digits;
    if (!text || !read_fields(text, &t, &colons, &year_digits)) return false;
    if (colons != 2 && colons != 5) return false;
    if (check != YmdhmsCheck::None) {
        if (!time_of_day_valid(&t, check)) return false;
        if (check != YmdhmsCheck::TimeOfDay && !date_valid(&t, year_digits, fix_year)) return false;
    }
    *out = t;
    return true;
}

KESTR_API int ParseYMDHMS(const char* text, int32_t* fields, int mode, int fix_year) {
    if (mode < 0 || mode > 3) return 0;
    Ymdhms t;
    if (!parse_ymdhms(text, &t, static_cast<YmdhmsCheck>(mode), fix_year != 0)) return 0;
    if (fields) {
        const int32_t values[kFields] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
        memcpy(fields, values, sizeof values);
    }
    return 1;
}

void format_ymdhms(const Ymdhms& t, bool four_digit_year, char* out) {
    snprintf(out, YMDHMS_TEXT_BYTES, four_digit_year ? "%04d:%02d:%02d:%02d:%02d:%02d" : "%02d:%02d:%02d:%02d:%02d:%02d",
             four_digit_year ? t.year : t.year % 100, t.month, t.day, t.hour, t.minute, t.second);
}

bool is_leap_year(int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int32_t days_in_month(int32_t year, int32_t month) {
    static const int32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : lengths[month - 1];
}

// Years are counted from March, so that February's leap day ends a year; the
// offset of 400 years keeps every quotient positive for years from 0.
int32_t day_number(int32_t year, int32_t month, int32_t day) {
    const int32_t a = month + 9;
    const int32_t y = year + a / 12 + 399;
    const int32_t m = a % 12;
    return (153 * m + 2) / 5 - y / 100 + day + y / 4 + 365 * y + y / 400 - 146037;
}

// The inverse: 400-year eras of 146097 days, March-based years of 365 or 366
// days and 153-day blocks of five months.
Ymdhms date_of_day_number(int32_t number) {
    const int64_t t = int64_t{number} + 146037 - 1;
    const int64_t era = t / 146097;
    const int64_t day_of_era = t - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t march_month = (5 * day_of_year + 2) / 153;
    Ymdhms out{};
    out.day = static_cast<int32_t>(day_of_year - (153 * march_month + 2) / 5 + 1);
    out.month = static_cast<int32_t>(march_month < 10 ? march_month + 3 : march_month - 9);
    out.year = static_cast<int32_t>(era * 400 + year_of_era - 400 + (out.month <= 2));
    return out;
}

bool ymdhms_add(const Ymdhms& base, const Ymdhms& interval, Ymdhms* out) {
    return shift(base, interval, 1, out);
}

bool ymdhms_subtract(const Ymdhms& base, const Ymdhms& interval, Ymdhms* out) {
    return shift(base, interval, -1, out);
}

bool ymdhms_difference(const Ymdhms& a, const Ymdhms& b, Ymdhms* out) {
    Ymdhms d{a.year - b.year, a.month - b.month, a.day - b.day,
             a.hour - b.hour, a.minute - b.minute, a.second - b.second};
    if (d.second < 0) d.second += 60, --d.minute;
    if (d.minute < 0) d.minute += 60, --d.hour;
    if (d.hour < 0) d.hour += 24, --d.day;
    // One borrow always suffices for valid dates: it adds at least b's day.
    while (d.day < 0) d.day += borrowed_month_length(a.year, a.month, b.day), --d.month;
    if (d.month < 0) d.month += 12, --d.year;
    if (d.year < 0) return false;
    *out = d;
    return true;
}

int ymdhms_compare(const Ymdhms& a, const Ymdhms& b) {
    const int32_t left[kFields] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const int32_t right[kFields] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < kFields; ++i)
        if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
    return 0;
}
