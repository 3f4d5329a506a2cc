// Subscripting for the evaluator and for lookups by name: the element that
// "[" subscripts "]" select, read as a copy or handed out for assignment.
#include "lang/array_access.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/arrays.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"

namespace {

// A subscript text longer than this is refused by the lookup by name.
constexpr size_t SUBSCRIPT_TEXT_MAX = 40;

}  // namespace

bool array_subscript(EngineState* st, const Value* array_value, Value* result, bool for_assignment,
                     ArrayCell** cell) {
    if (cell) *cell = nullptr;
    ArrayHeader* array = array_of(array_value->v);
    if (!array) {
        if (!holds_subscriptable(array_value->v)) return raise(st, Err::NotAnArray);
        // A VARIANT holding a SAFEARRAY: its elements are the COM layer's
        // to reach, and it has not taken this path over.
        return raise(st, Err::ArrayAccessError);
    }
    ArrayCell* element;
    CHECK(GetElement(st, array, &element));
    if (for_assignment) {
        *cell = element;
        return true;
    }
    if (element->v.flags == VF_UNDEFINED) return raise(st, Err::ArrayElementUninitialized);
    return CopyValue(st, &element->v, &result->v, 0, copy_mode(RK_CELL, RK_VALUE) | VM_DUP_TEXT);
}

bool element_by_subscript_text(EngineState* st, const ValuePayload& array, const char* subscripts,
                               ArrayCell** cell) {
    *cell = nullptr;
    const size_t length = strlen(subscripts);
    if (length > SUBSCRIPT_TEXT_MAX) return raise(st, Err::ArraySyntax);
    char line[SUBSCRIPT_TEXT_MAX + 1];
    memcpy(line, subscripts, length + 1);
    // The line being run may be in the middle of a statement.
    const LexerState saved = st->lexer;
    lexer_start(st, line);
    get_token(st);
    bool ok = st->error == 0;
    if (ok && !token_is(st, KWID_OPEN_BRACKET)) ok = raise(st, Err::ArraySyntax);
    ok = ok && GetElement(st, array_of(array), cell);
    if (ok) {
        get_token(st);
        ok = st->error == 0 && (st->lexer.kind == TK_END || raise(st, Err::ArraySyntax));
    }
    st->lexer = saved;
    if (!ok) *cell = nullptr;
    return ok;
}
