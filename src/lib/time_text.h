// Display texts of a moment: the date and time line of TimeDate, the exact
// time and the file-time line, in the system locale, with the classic
// [intl] profile keys when the platform cannot format.
#pragma once

#include <stddef.h>
#include <windows.h>

struct EngineState;

// The [intl] keys of the system profile that the fallback reads.
struct IntlSettings {
    int date_order;        // iDate: 0 month-day-year, 1 day-month-year, 2 year-month-day
    bool clock24;          // iTime: 1 a 24-hour clock
    char date_separator;   // sDate, first character
    char time_separator;   // sTime, first character
    char morning[16];      // s1159
    char afternoon[16];    // s2359
    bool four_digit_year;  // sShortDate holds "yyy"
};

void read_intl_settings(IntlSettings* out);

// What a fallback text shows: the whole date and time, or the file-time
// line's date and hours:minutes.
enum class IntlLayout { DateTime, FileTime };

// The date and time written from `intl` alone ("1/02/04 13:04:05", or the
// 12-hour clock with its suffix). The same layouts as the platform texts.
void intl_date_time(const IntlSettings& intl, const SYSTEMTIME& t, IntlLayout layout, char* out,
                    size_t size);

// "Wed 1/2/2004 13:04:05": weekday, short date and time of the system locale.
void display_date_time(EngineState* st, const SYSTEMTIME& t, char* out, size_t size);

// A file's time as the date, two spaces and the time.
void file_time_line(const SYSTEMTIME& t, char* out, size_t size);

// "14:05:09:37": hours, minutes, seconds and hundredths, joined by the
// locale's time separator.
void exact_time(const SYSTEMTIME& t, char* out, size_t size);
