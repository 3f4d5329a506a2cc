// Conversions between numbers and text.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include "base/exports.h"

struct EngineState;

// Room for any text FloatToText produces.
constexpr size_t FLOAT_TEXT_BYTES = 64;
// Room for any IntToText result (33 binary digits and a sign, or 11 decimal).
constexpr size_t INT_TEXT_BYTES = 36;

// Digits of i in radix 2..36 (upper-case letters); returns the start of the
// digits, after any "-".
char* IntToText(int32_t i, char* buffer, int radix);
wchar_t* IntToTextW(int32_t i, wchar_t* buffer, int radix);
// Leading blanks, one sign, decimal digits up to the first non-digit; wraps.
int32_t TextToInt(const char* text);
int32_t TextToIntW(const wchar_t* text);
// Blanks or tabs, optional sign, decimal digits (none allowed), blanks or tabs.
bool IsIntegerText(const char* text);
bool IsIntegerTextW(const wchar_t* text);
bool IsHexText(const char* text);
// -1 for a radix outside 2..36, -2 for a character that is not a digit.
int32_t TextToIntRadix(const char* text, int radix);
// The strict rule of ToInteger: blanks, at most one sign, one or more digits,
// nothing else. Digits accumulate in 32 bits, wrapping.
bool ParseStrictInteger(const char* text, int32_t* out);

// Rounds half away from zero and truncates; INT32_MIN when out of range.
int32_t round_half_away(double x);

// Prints a double under the engine's decimals setting; raises 1599 on NaN.
[[nodiscard]] bool FloatToText(EngineState* st, double x, char* buffer);
// Parses a whole text as a double; raises 1342 on overflow.
[[nodiscard]] bool TextToFloat(EngineState* st, const char* text, double* out);
// The Decimals setting: above 8 becomes 8, below -3 becomes -1; returns the
// previous setting.
int32_t set_decimals(EngineState* st, int32_t decimals);

// Name of a VARIANT type ("I4", "VT_BOOL" ...) to its VARTYPE; -1 when unknown.
// class receives 1 for integral types, 2 for the others, 0 when unknown.
KESTR_API int MyVariantStrToNum(const char* text, uint32_t* cls);
