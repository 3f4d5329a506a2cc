// Raising numbered errors: a failing operation stores its number in the
// state's error word and returns false; callers test and return.
#pragma once

#include "base/error_numbers.h"

struct EngineState;

// Stores `error` unless an error is already pending; always returns false so
// that a handler can write `return raise(st, Err::X);`.
bool raise(EngineState* st, Err error);
// The same, and appends the hint's message to the additional error text.
bool raise_hint(EngineState* st, Err error, Err hint);
inline bool raise(EngineState* st, uint16_t number) { return raise(st, static_cast<Err>(number)); }

// Propagates a failure of a [[nodiscard]] bool call.
#define CHECK(expr)            \
    do {                       \
        if (!(expr)) return false; \
    } while (0)
