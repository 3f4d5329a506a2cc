// Stand-in for array subscripting until the array code provides it: no array
// can be reached yet, so every subscript fails with a numbered error.
#include "lang/array_access.h"

#include "lang/errors.h"

bool array_subscript(EngineState* st, const Value* array_value, Value*, bool, ArrayCell** cell) {
    if (cell) *cell = nullptr;
    if (!holds_subscriptable(array_value->v)) return raise(st, Err::NotAnArray);
    // The element storage is the array code's to read; without it the
    // array's data cannot be accessed.
    return raise(st, Err::ArrayAccessError);
}
