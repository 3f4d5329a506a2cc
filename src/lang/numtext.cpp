// Conversions between numbers and text: integer printing and parsing in any
// radix, the engine's floating-point print rules and the strict float parser.
#include "lang/numtext.h"

#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <oleauto.h>
#include "base/engine_state.h"
#include "base/errors.h"

namespace {

constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

template <typename Char>
Char* int_to_text(int32_t i, Char* buffer, int radix) {
    if (radix < 2 || radix > 36) radix = 10;
    Char* out = buffer;
    if (i == INT32_MIN) {
        // Kept as the decimal literal whatever the radix: the negation below
        // would overflow, and that is what scripts have always seen.
        for (const char* p = "-2147483648"; *p; ++p) *out++ = (Char)*p;
        *out = 0;
        return buffer + 1;
    }
    if (i < 0) *out++ = '-';
    uint32_t u = i < 0 ? (uint32_t)-i : (uint32_t)i;
    Char reversed[INT_TEXT_BYTES];
    int n = 0;
    do {
        reversed[n++] = (Char)kDigits[u % (uint32_t)radix];
        u /= (uint32_t)radix;
    } while (u);
    Char* digits = out;
    while (n) *out++ = reversed[--n];
    *out = 0;
    return digits;
}

template <typename Char>
int32_t text_to_int(const Char* text) {
    while (*text == ' ') ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + (uint32_t)(*text - '0');
    return (int32_t)(negative ? 0u - value : value);
}

inline bool is_blank_or_tab(int c) { return c == ' ' || c == '\t'; }
inline bool is_decimal_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_hex_digit(int c) {
    return is_decimal_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Blanks or tabs, optional sign, digits (none at all is allowed), blanks or tabs.
template <typename Char, typename IsDigit>
bool is_number_text(const Char* text, IsDigit is_digit) {
    while (is_blank_or_tab(*text)) ++text;
    if (*text == '-' || *text == '+') ++text;
    while (is_digit(*text)) ++text;
    while (is_blank_or_tab(*text)) ++text;
    return *text == 0;
}

int radix_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return 99;
}

// The text the C library's decimal parser would take whole: white space,
// sign, digits with at most one point, an "e"/"E" exponent. The runtime's own
// parser would also take hexadecimal, "inf" and "nan" (and the system one a
// "d" exponent), none of which is a number in scripts.
bool is_decimal_float_text(const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') ++p;
    bool digits = false;
    while (is_decimal_digit(*p)) ++p, digits = true;
    if (*p == '.') {
        ++p;
        while (is_decimal_digit(*p)) ++p, digits = true;
    }
    if (!digits) return false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!is_decimal_digit(*p)) return false;
        while (is_decimal_digit(*p)) ++p;
    }
    return *p == 0;
}

// The engine prints through the system C runtime so that "%e" keeps its
// three exponent digits ("1.00000000e+009"). _snprintf is msvcrt's own entry
// even when the mingw ANSI printf family is in effect for snprintf; it does
// not terminate a truncated result, hence the explicit terminator.
int print_number(char* buffer, size_t size, const char* format, int precision, double x) {
    int n = _snprintf(buffer, size - 1, format, precision, x);
    buffer[size - 1] = 0;
    return n;
}

int print_plain(char* buffer, size_t size, const char* format, double x) {
    int n = _snprintf(buffer, size - 1, format, x);
    buffer[size - 1] = 0;
    return n;
}

void prefix_zero_before_point(char* buffer) {
    if (buffer[0] != '.') return;
    memmove(buffer + 1, buffer, strlen(buffer) + 1);
    buffer[0] = '0';
}

// Pads the digits after the point to `minimum`, in front of any exponent.
void pad_fraction(char* buffer, int minimum) {
    char* point = strchr(buffer, '.');
    if (!point) return;
    char* end = point + 1;
    while (is_decimal_digit(*end)) ++end;
    int missing = minimum - (int)(end - point - 1);
    if (missing <= 0) return;
    memmove(end + missing, end, strlen(end) + 1);
    memset(end, '0', (size_t)missing);
}

}  // namespace

char* IntToText(int32_t i, char* buffer, int radix) { return int_to_text(i, buffer, radix); }
wchar_t* IntToTextW(int32_t i, wchar_t* buffer, int radix) { return int_to_text(i, buffer, radix); }

int32_t TextToInt(const char* text) { return text_to_int(text); }
int32_t TextToIntW(const wchar_t* text) { return text_to_int(text); }

bool IsIntegerText(const char* text) { return is_number_text(text, is_decimal_digit); }
bool IsIntegerTextW(const wchar_t* text) { return is_number_text(text, is_decimal_digit); }
bool IsHexText(const char* text) { return is_number_text(text, is_hex_digit); }

int32_t TextToIntRadix(const char* text, int radix) {
    if (radix < 2 || radix > 36) return -1;
    uint32_t value = 0, weight = 1;
    for (const char* p = text + strlen(text); p != text;) {
        int digit = radix_digit(*--p);
        if (digit >= radix) return -2;
        value += (uint32_t)digit * weight;
        weight *= (uint32_t)radix;
    }
    return (int32_t)value;
}

bool ParseStrictInteger(const char* text, int32_t* out) {
    while (*text == ' ') ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (!is_decimal_digit(*text)) return false;
    uint32_t value = 0;
    for (; is_decimal_digit(*text); ++text) value = value * 10 + (uint32_t)(*text - '0');
    if (*text) return false;
    *out = (int32_t)(negative ? 0u - value : value);
    return true;
}

int32_t round_half_away(double x) {
    double rounded = x >= 0.0 ? x + 0.5 : x - 0.5;
    // What the processor's truncating conversion yields out of range, without
    // the undefined behaviour of a C++ cast.
    if (!(rounded > -2147483649.0 && rounded < 2147483648.0)) return INT32_MIN;
    return (int32_t)rounded;
}

bool FloatToText(EngineState* st, double x, char* buffer) {
    if (isnan(x)) return raise(st, Err::FpNotANumber);
    const int32_t d = st->decimals;
    // Room left for the ".0" and the padding added after printing.
    constexpr size_t kPrintBytes = FLOAT_TEXT_BYTES - 12;
    if (x == 0.0 && d == -1) {
        memcpy(buffer, "0.0", 4);
        return true;
    }
    if (d == 0 && fabs(x) <= 2147483647.0) {
        _snprintf(buffer, kPrintBytes - 1, "%ld", (long)round_half_away(x));
        buffer[kPrintBytes - 1] = 0;
        return true;
    }
    if (d == -2 || d == -3) {
        print_plain(buffer, kPrintBytes, d == -2 ? "%g" : "%e", x);
        prefix_zero_before_point(buffer);
        return true;
    }
    const int precision = d < 0 ? 8 : d;
    const int min_fraction = d < 0 ? 1 : d;
    const double magnitude = fabs(x);
    // 999999999.0 itself still prints in fixed form.
    const bool exponent_form = magnitude > 999999999.0 || (magnitude < 0.0001 && d == -1);
    print_number(buffer, kPrintBytes, exponent_form ? "%#1.*e" : "%#1.*f", precision, x);
    if (!strchr(buffer, '.')) strcat(buffer, ".0");
    if (d < 0 && !exponent_form) {
        size_t n = strlen(buffer);
        while (n && buffer[n - 1] == '0') buffer[--n] = 0;
    }
    pad_fraction(buffer, min_fraction);
    return true;
}

bool TextToFloat(EngineState* st, const char* text, double* out) {
    if (!*text || !is_decimal_float_text(text)) return false;
    errno = 0;
    char* end;
    double value = strtod(text, &end);
    if (*end) return false;
    // Underflow is accepted (the result is zero or nearly so); only an
    // overflow to infinity is an error.
    if (errno == ERANGE && isinf(value)) return raise(st, Err::FpOverflow);
    *out = value;
    return true;
}

int32_t set_decimals(EngineState* st, int32_t decimals) {
    int32_t previous = st->decimals;
    if (decimals > 8) decimals = 8;
    if (decimals < -3) decimals = -1;
    st->decimals = decimals;
    return previous;
}

KESTR_API int MyVariantStrToNum(const char* text, uint32_t* cls) {
    struct Entry {
        const char* name;
        VARTYPE type;
        uint8_t cls;
    };
    static const Entry kTypes[] = {
        {"I1", VT_I1, 1},     {"I2", VT_I2, 1},      {"I4", VT_I4, 1},
        {"UI1", VT_UI1, 1},   {"UI2", VT_UI2, 1},    {"UI4", VT_UI4, 1},
        {"BOOL", VT_BOOL, 1}, {"CY", VT_CY, 2},      {"DATE", VT_DATE, 2},
        {"DECIMAL", VT_DECIMAL, 2}, {"NULL", VT_NULL, 2},
    };
    if (cls) *cls = 0;
    if (!text) return -1;
    if (_strnicmp(text, "VT_", 3) == 0) text += 3;
    for (const Entry& entry : kTypes) {
        if (_stricmp(text, entry.name) != 0) continue;
        if (cls) *cls = entry.cls;
        return entry.type;
    }
    return -1;
}
