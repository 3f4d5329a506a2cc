// Character and code-page functions: Char2Num and Num2Char, the Chr...
// conversions between text, hex digits and Unicode, StrTypeInfo and
// ParseData.
#include <stdio.h>
#include "base/error_info.h"
#include "base/errors.h"
#include "base/messages.h"
#include "lang/numtext.h"
#include "lang/params.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

// ------------------------------------------------------------------ Char2Num, Num2Char

// Char2Num(string): the first character's code; a double-byte character
// gives lead byte * 256 + trail byte.
BUILTIN(chr_char2num) {
    const Span<char> s = arg_span<char>(st, args[1]);
    if (s.n == 0) return;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.p);
    result->v.integer = Steps(st).at(s.p, s.end()) == 2 ? p[0] * 256 + p[1] : p[0];
}

// Num2Char(number): the low byte, after the second byte when that is a
// lead byte of the code page.
BUILTIN(chr_num2char) {
    const uint32_t n = static_cast<uint32_t>(args[1].v.integer);
    const char low = static_cast<char>(n & 0xFF);
    const uint8_t high = static_cast<uint8_t>(n >> 8);
    const bool* lead = lead_bytes(st);
    const char pair[2] = {static_cast<char>(high), low};
    if (lead && lead[high]) return (void)set_result(st, result, Span<char>{pair, 2});
    set_result(st, result, Span<char>{&low, low ? 1u : 0u});
}

// ------------------------------------------------------------------ code pages

bool locale_code_page(LCID locale, UINT* code_page) {
    char digits[16];
    if (!GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits)) return false;
    *code_page = static_cast<UINT>(atoi(digits));
    return true;
}

// ChrGetCodePage(request): 0 the engine's, 1 the user's, 2 the system's.
BUILTIN(chr_get_code_page) {
    UINT code_page = 0;
    switch (args[1].v.integer) {
    case 0: code_page = st->code_page == CP_ACP ? GetACP() : st->code_page; break;
    case 1:
        if (!locale_code_page(LOCALE_USER_DEFAULT, &code_page)) return (void)raise(st, Err::ChrGetCodePageFailed);
        break;
    case 2:
        if (!locale_code_page(LOCALE_SYSTEM_DEFAULT, &code_page)) return (void)raise(st, Err::ChrGetCodePageFailed);
        break;
    default: return (void)raise(st, Err::BadRequestNumber);
    }
    result->v.integer = static_cast<int32_t>(code_page);
}

// ChrSetCodePage(code page): returns the previous one. A code page that
// the system does not have is not taken.
BUILTIN(chr_set_code_page) {
    result->v.integer = static_cast<int32_t>(st->code_page == CP_ACP ? GetACP() : st->code_page);
    const UINT wanted = static_cast<UINT>(args[1].v.integer);
    if (wanted == CP_ACP || IsValidCodePage(wanted)) st->code_page = wanted;
}

// ChrStringToUnicode(string): the dispatcher has converted it already.
BUILTIN(chr_string_to_unicode) { set_result(st, result, arg_span<wchar_t>(st, args[1])); }

// ChrUnicodeToString(unicode)
BUILTIN(chr_unicode_to_string) {
    const Span<wchar_t> w = arg_span<wchar_t>(st, args[1]);
    const int n = w.n ? WideCharToMultiByte(st->code_page, 0, w.p, static_cast<int>(w.n), nullptr, 0, nullptr, nullptr) : 0;
    if (w.n && n <= 0) return (void)raise(st, Err::NotConvertibleToString);
    char* out = new_result_text<char>(st, result, static_cast<size_t>(n));
    if (out && n) WideCharToMultiByte(st->code_page, 0, w.p, static_cast<int>(w.n), out, n, nullptr, nullptr);
}

// ------------------------------------------------------------------ hex

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The bytes that `digits` hex digits (a multiple of `group`) stand for.
bool hex_bytes_valid(Span<char> hex, size_t group) {
    if (hex.n % group) return false;
    for (size_t i = 0; i < hex.n; ++i) {
        if (hex_value(hex.p[i]) < 0) return false;
    }
    return true;
}

uint8_t hex_byte(const char* p) { return static_cast<uint8_t>(hex_value(p[0]) * 16 + hex_value(p[1])); }

void write_hex_byte(char* out, uint8_t b) {
    out[0] = kHexDigits[b >> 4];
    out[1] = kHexDigits[b & 0xF];
}

// ChrStringToHex(string): two digits a byte.
BUILTIN(chr_string_to_hex) {
    const Span<char> s = arg_span<char>(st, args[1]);
    char* out = new_result_text<char>(st, result, 2 * s.n);
    for (size_t i = 0; out && i < s.n; ++i) write_hex_byte(out + 2 * i, static_cast<uint8_t>(s.p[i]));
}

// ChrHexToString(hex)
BUILTIN(chr_hex_to_string) {
    const Span<char> hex = arg_span<char>(st, args[1]);
    if (!hex_bytes_valid(hex, 2)) return (void)raise(st, Err::BadHexString);
    char* out = new_result_text<char>(st, result, hex.n / 2);
    for (size_t i = 0; out && i < hex.n / 2; ++i) out[i] = static_cast<char>(hex_byte(hex.p + 2 * i));
}

// ChrUnicodeToHex(unicode): four digits a unit, low byte first.
BUILTIN(chr_unicode_to_hex) {
    const Span<wchar_t> w = arg_span<wchar_t>(st, args[1]);
    char* out = new_result_text<char>(st, result, 4 * w.n);
    for (size_t i = 0; out && i < w.n; ++i) {
        const uint16_t unit = static_cast<uint16_t>(w.p[i]);
        write_hex_byte(out + 4 * i, static_cast<uint8_t>(unit & 0xFF));
        write_hex_byte(out + 4 * i + 2, static_cast<uint8_t>(unit >> 8));
    }
}

// ChrHexToUnicode(hex)
BUILTIN(chr_hex_to_unicode) {
    const Span<char> hex = arg_span<char>(st, args[1]);
    if (!hex_bytes_valid(hex, 4)) return (void)raise(st, Err::BadHexString);
    wchar_t* out = new_result_text<wchar_t>(st, result, hex.n / 4);
    for (size_t i = 0; out && i < hex.n / 4; ++i)
        out[i] = static_cast<wchar_t>(hex_byte(hex.p + 4 * i) | hex_byte(hex.p + 4 * i + 2) << 8);
}

// ------------------------------------------------------------------ StrTypeInfo

struct TypeName {
    WORD bit;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {C1_UPPER, "Upper"}, {C1_LOWER, "Lower"}, {C1_DIGIT, "Digit"}, {C1_SPACE, "Space"},  {C1_PUNCT, "Punct"},
    {C1_CNTRL, "Cntrl"}, {C1_BLANK, "Blank"}, {C1_XDIGIT, "HexDg"}, {C1_ALPHA, "Alpha"},
};
constexpr WORD kDefinedBit = 0x200;  // C1_DEFINED

bool string_types(Span<char> s, WORD* types) {
    return GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE1, s.p, static_cast<int>(s.n), types);
}
bool string_types(Span<wchar_t> s, WORD* types) {
    return GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE1, s.p, static_cast<int>(s.n), types);
}

// The names of the set bits; the wide form also says when a character is
// not defined.
template <typename C>
void type_names(EngineState* st, Value* result, Span<C> value) {
    int32_t bits;
    char digits[32];
    const size_t n = value.n < sizeof digits - 1 ? value.n : sizeof digits - 1;
    // A wide unit beyond ASCII is never a digit, whatever its low byte.
    for (size_t i = 0; i < n; ++i) digits[i] = static_cast<char>(value.p[i] > 0 && value.p[i] < 0x80 ? value.p[i] : 'x');
    digits[n] = '\0';
    if (value.n >= sizeof digits || !ParseStrictInteger(digits, &bits)) return (void)raise(st, Err::BadValue);
    char text[96] = "";
    for (const TypeName& type : kTypeNames) {
        if (!(bits & type.bit)) continue;
        if (text[0]) strcat(text, " ");
        strcat(text, type.name);
    }
    if (sizeof(C) == 2 && !(bits & kDefinedBit)) strcat(text, text[0] ? " Undef" : "Undef");
    set_result(st, result, Span<char>{text, strlen(text)});
}

// StrTypeInfo(value, flag): 0 the classes all characters share, 1 those
// some character has, -1 the names of the classes in a number.
template <typename C>
void type_info(EngineState* st, Value* result, Value* args) {
    const Span<C> value = arg_span<C>(st, args[1]);
    const int32_t flag = args[2].v.integer;
    if (flag == -1) return type_names(st, result, value);
    if (flag != 0 && flag != 1) return (void)raise(st, Err::BadFlags);
    uint32_t combined = 0;
    if (value.n) {
        TextBuffer<C> room;  // one WORD per unit, at least
        const C zero[4] = {};
        for (size_t i = 0; i < value.n; ++i) {
            if (!room.append(st, zero, sizeof(WORD) / sizeof(C) + 1)) return;
        }
        WORD* types = reinterpret_cast<WORD*>(room.data());
        if (!string_types(value, types)) {
            raise(st, Err::FunctionFailed);
            char detail[64];
            snprintf(detail, sizeof detail, "GetStringTypeEx: %lu", static_cast<unsigned long>(GetLastError()));
            return AddErrorInfo(st, detail);
        }
        combined = flag == 0 ? 0xFFFF : 0;
        // A double-byte character's type stands in its first entry.
        const Steps steps(st);
        for (size_t i = 0; i < value.n; i += steps.at(value.p + i, value.end()))
            combined = flag == 0 ? (combined & types[i]) : (combined | types[i]);
    }
    char digits[INT_TEXT_BYTES];
    IntToText(static_cast<int32_t>(combined), digits, 10);
    set_result(st, result, Span<char>{digits, strlen(digits)});
}

// Its text argument is converted to wide text on NT-family systems; the
// wide form runs only for text that came wide, so ANSI text keeps the
// ANSI classes and names.
BUILTIN(chr_type_info) {
    const uint32_t flags = args[1].v.flags;
    if ((flags & VF_UNICODE) && !(flags & VF_STRING)) return type_info<wchar_t>(st, result, args);
    if (!ToString(st, &args[1].v)) return (void)raise(st, Err::NotConvertibleToString);
    type_info<char>(st, result, args);
}

// ------------------------------------------------------------------ ParseData

// ParseData(string): param0, param1 ... as for script parameters.
BUILTIN(chr_parse_data) {
    result->v.integer = wide ? SetScriptParametersW(st, value_wtext(st, args[1].v))
                             : SetScriptParameters(st, value_text(st, args[1].v));
}

}  // namespace

constexpr BuiltinRow kCharBuiltins[] = {
    BUILTIN_ROW("char2num", chr_char2num),
    BUILTIN_ROW("chrgetcodepage", chr_get_code_page),
    BUILTIN_ROW("chrhextostring", chr_hex_to_string),
    BUILTIN_ROW("chrhextounicode", chr_hex_to_unicode),
    BUILTIN_ROW("chrsetcodepage", chr_set_code_page),
    BUILTIN_ROW("chrstringtohex", chr_string_to_hex),
    BUILTIN_ROW("chrstringtounicode", chr_string_to_unicode),
    BUILTIN_ROW("chrunicodetohex", chr_unicode_to_hex),
    BUILTIN_ROW("chrunicodetostring", chr_unicode_to_string),
    BUILTIN_ROW("num2char", chr_num2char),
    BUILTIN_ROW("parsedata", chr_parse_data),
    BUILTIN_ROW("strtypeinfo", chr_type_info),
};
constexpr size_t kCharBuiltinCount = sizeof(kCharBuiltins) / sizeof(kCharBuiltins[0]);
