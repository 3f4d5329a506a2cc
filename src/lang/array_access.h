// Subscripting: the element that "[" subscripts "]" name in an array held by
// a value (an engine array, or a VARIANT holding a SAFEARRAY).
#pragma once

#include "lang/value.h"

struct EngineState;

// True for a value that "[" may subscript.
inline bool holds_subscriptable(const ValuePayload& v) {
    return ((v.flags & VF_ARRAY) && v.handle) || ((v.flags & VF_VARIANT) && (v.variant.vt & VT_ARRAY));
}

// Evaluates the subscripts at the current token ("[") and leaves the current
// token on the closing "]". `array_value` is only read (it may be a borrowed
// view of a variable slot).
// Reading (for_assignment false): result receives a copy of the element with
// its texts duplicated and its origin the element; 1640 for an element never
// assigned. For assignment: *cell receives the element record to store into
// and result is left alone.
[[nodiscard]] bool array_subscript(EngineState* st, const Value* array_value, Value* result,
                                   bool for_assignment, ArrayCell** cell);

// The element that a subscript text such as "[2, i]" (at most 40
// characters) selects in an engine array, for lookups by name outside the
// line being run: the lexer's position is kept. 1633 for a text that is not
// one subscript list.
[[nodiscard]] bool element_by_subscript_text(EngineState* st, const ValuePayload& array, const char* subscripts,
                                             ArrayCell** cell);
