// Date and time built-in functions: the clock as YmdHms and display texts,
// calendar arithmetic on YmdHms texts, day numbers, and waiting until a
// moment or for a duration.
#include <math.h>
#include <string.h>
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/time_text.h"
#include "lib/ymdhms.h"

namespace {

// The wait loops read the clock this often.
constexpr uint32_t kClockPollMilliseconds = 100;
// TimeDelay waits a fraction of a second only from this length on, and
// makes up a shortfall measured with the tick count of at most a second.
constexpr uint32_t kShortestFraction = 100;
constexpr uint32_t kLongestShortfall = 1000;
// TimeDiffSecs refuses day differences beyond this: the seconds would
// overflow a 32-bit integer.
constexpr int32_t kLongestSecondsSpan = 22000;
constexpr int32_t kSecondsPerDay = 86400;
// Longer delays end past year 9999 whenever they start.
constexpr double kLongestDelaySeconds = 10000.0 * 366 * kSecondsPerDay;

// ------------------------------------------------------------------ helpers

bool four_digit_years(const EngineState* st) { return st->two_digit_years == 0; }

Ymdhms from_system_time(const SYSTEMTIME& t) {
    return Ymdhms{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

Ymdhms local_now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return from_system_time(t);
}

Ymdhms utc_now() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return from_system_time(t);
}

void set_text(EngineState* st, Value* result, const char* text) {
    (void)set_value_text(st, &result->v, text, strlen(text));
}

void set_ymdhms(EngineState* st, Value* result, const Ymdhms& t) {
    char text[YMDHMS_TEXT_BYTES];
    format_ymdhms(t, four_digit_years(st), text);
    set_text(st, result, text);
}

// Argument i read as a moment, with two-digit years widened.
bool moment_argument(EngineState* st, Value* args, int i, Ymdhms* out) {
    return parse_ymdhms(value_text(st, args[i].v), out, YmdhmsCheck::Full, true);
}

// ------------------------------------------------------------------ the clock

// TimeYmdHms()
BUILTIN(time_ymdhms) { set_ymdhms(st, result, local_now()); }

// TimeDate() and DateTime()
BUILTIN(time_date) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[LINE_BUFFER_BYTES];
    display_date_time(st, t, text, sizeof text);
    set_text(st, result, text);
}

// GetExactTime()
BUILTIN(time_exact) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[64];
    exact_time(t, text, sizeof text);
    set_text(st, result, text);
}

// ------------------------------------------------------------------ arithmetic

typedef bool (*ShiftFunction)(const Ymdhms&, const Ymdhms&, Ymdhms*);

// The moment of argument 1 moved by the interval of argument 2; any
// failure, bad input included, is `error`.
void shift_moment(EngineState* st, Value* result, Value* args, ShiftFunction shift, Err error) {
    Ymdhms base, interval, moved;
    if (!moment_argument(st, args, 1, &base) ||
        !parse_ymdhms(value_text(st, args[2].v), &interval, YmdhmsCheck::None, false) ||
        !shift(base, interval, &moved))
        return (void)raise(st, error);
    set_ymdhms(st, result, moved);
}

// TimeAdd(ymdhms, interval)
BUILTIN(time_add) { shift_moment(st, result, args, ymdhms_add, Err::TimeAddFailed); }

// TimeSubtract(ymdhms, interval)
BUILTIN(time_subtract) { shift_moment(st, result, args, ymdhms_subtract, Err::TimeSubtractFailed); }

// TimeDiff(ymdhms1, ymdhms2): 1 - 2 in calendar units; 2 after 1 fails.
BUILTIN(time_diff) {
    Ymdhms a, b, difference;
    if (!moment_argument(st, args, 1, &a) || !moment_argument(st, args, 2, &b) ||
        !ymdhms_difference(a, b, &difference))
        return (void)raise(st, Err::TimeSubtractFailed);
    set_ymdhms(st, result, difference);
}

// Both moments of TimeDiffDays and TimeDiffSecs, and their day difference.
bool two_moments(EngineState* st, Value* args, Ymdhms* a, Ymdhms* b, int32_t* days) {
    if (!moment_argument(st, args, 1, a) || !moment_argument(st, args, 2, b))
        return raise(st, Err::TimeDiffBadValue);
    *days = day_number(a->year, a->month, a->day) - day_number(b->year, b->month, b->day);
    return true;
}

// TimeDiffDays(ymdhms1, ymdhms2)
BUILTIN(time_diff_days) {
    Ymdhms a, b;
    int32_t days = 0;
    if (two_moments(st, args, &a, &b, &days)) result->v.integer = days;
}

// TimeDiffSecs(ymdhms1, ymdhms2)
BUILTIN(time_diff_secs) {
    Ymdhms a, b;
    int32_t days = 0;
    if (!two_moments(st, args, &a, &b, &days)) return;
    if (days > kLongestSecondsSpan || days < -kLongestSecondsSpan)
        return (void)raise(st, Err::TimeDiffOutOfRange);
    result->v.integer = ((days * 24 + (a.hour - b.hour)) * 60 + (a.minute - b.minute)) * 60 +
                        (a.second - b.second);
}

// TimeJulianDay(ymdhms): hour 24 is accepted here, as midnight.
BUILTIN(time_julian_day) {
    Ymdhms t;
    if (!parse_ymdhms(value_text(st, args[1].v), &t, YmdhmsCheck::JulianDay, true))
        return (void)raise(st, Err::TimeParamBadValue);
    result->v.integer = day_number(t.year, t.month, t.day);
}

// TimeJulToYmd(day number): midnight of that day; years past 9999 wrap.
BUILTIN(time_jul_to_ymd) {
    const int32_t number = args[1].v.integer;
    if (number < 1) return (void)raise(st, Err::TimeJulToYmdBadDate);
    Ymdhms t = date_of_day_number(number);
    t.year %= 10000;
    set_ymdhms(st, result, t);
}

// ------------------------------------------------------------------ waits

// Waits until `clock` reads `target` or later, keeping the windows alive;
// a cancel or a stop asked by the host's idle hook ends it early.
void wait_until(EngineState* st, const Ymdhms& target, Ymdhms (*clock)()) {
    for (;;) {
        PumpMessages(st);
        if (st->cancel_requested || st->error) return;
        WaitPumping(st, kClockPollMilliseconds);
        if (ymdhms_compare(clock(), target) >= 0) return;
    }
}

// The moment TimeWait waits for: a full YmdHms, or with year, month and
// day 0 the next time the clock shows that time of day.
bool wait_target(const char* text, Ymdhms* target) {
    Ymdhms t;
    if (!parse_ymdhms(text, &t, YmdhmsCheck::None, false)) return false;
    int colons = 0;
    for (const char* p = text; *p; ++p) colons += *p == ':';
    if (colons != 5) return false;
    if (t.year != 0 || t.month != 0 || t.day != 0) return parse_ymdhms(text, target, YmdhmsCheck::Full, true);

    if (!parse_ymdhms(text, &t, YmdhmsCheck::TimeOfDay, false)) return false;
    const Ymdhms now = local_now();
    const Ymdhms today{now.year, now.month, now.day, t.hour, t.minute, t.second};
    if (ymdhms_compare(now, today) < 0) {
        *target = today;
        return true;
    }
    return ymdhms_add(today, Ymdhms{0, 0, 1, 0, 0, 0}, target);
}

// TimeWait(ymdhms)
BUILTIN(time_wait) {
    Ymdhms target;
    if (!wait_target(value_text(st, args[1].v), &target)) return (void)raise(st, Err::WaitUntilBadFormat);
    wait_until(st, target, local_now);
    result->v.integer = 1;
}

// Milliseconds of `seconds`, held to what one timed wait can take.
uint32_t milliseconds_of(double seconds) {
    const double ms = floor(seconds * 1000.0 + 0.5);
    return ms >= 4294967294.0 ? 4294967294u : static_cast<uint32_t>(ms);
}

// TimeDelay(seconds) and Delay(seconds): whole seconds by the UTC clock,
// which no daylight-saving change moves, then the fraction, then any
// shortfall the tick count shows. A negative duration is one plain wait.
BUILTIN(time_delay) {
    const double seconds = args[1].v.real;
    result->v.integer = 1;
    if (seconds < 0) return WaitPumping(st, milliseconds_of(-seconds));
    const DWORD start = GetTickCount();
    const double whole = floor(seconds);
    Ymdhms target;
    // isfinite also refuses NaN.
    if (!isfinite(seconds) || whole > kLongestDelaySeconds ||
        !ymdhms_add(utc_now(),
                    Ymdhms{0, 0, static_cast<int32_t>(whole / kSecondsPerDay), 0, 0,
                           static_cast<int32_t>(fmod(whole, kSecondsPerDay))},
                    &target))
        return (void)raise(st, Err::WaitLongComputeFailed);
    wait_until(st, target, utc_now);
    if (st->cancel_requested || st->error) return;

    const uint32_t fraction = milliseconds_of(seconds - whole);
    if (fraction >= kShortestFraction) WaitPumping(st, fraction);
    const uint32_t wanted = milliseconds_of(seconds);
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed < wanted && !st->cancel_requested)
        WaitPumping(st, wanted - elapsed < kLongestShortfall ? wanted - elapsed : kLongestShortfall);
}

}  // namespace

constexpr BuiltinRow kTimeBuiltins[] = {
    BUILTIN_ROW("datetime", time_date),
    BUILTIN_ROW("delay", time_delay),
    BUILTIN_ROW("getexacttime", time_exact),
    BUILTIN_ROW("timeadd", time_add),
    BUILTIN_ROW("timedate", time_date),
    BUILTIN_ROW("timedelay", time_delay),
    BUILTIN_ROW("timediff", time_diff),
    BUILTIN_ROW("timediffdays", time_diff_days),
    BUILTIN_ROW("timediffsecs", time_diff_secs),
    BUILTIN_ROW("timejulianday", time_julian_day),
    BUILTIN_ROW("timejultoymd", time_jul_to_ymd),
    BUILTIN_ROW("timesubtract", time_subtract),
    BUILTIN_ROW("timewait", time_wait),
    BUILTIN_ROW("timeymdhms", time_ymdhms),
};
constexpr size_t kTimeBuiltinCount = sizeof(kTimeBuiltins) / sizeof(kTimeBuiltins[0]);
