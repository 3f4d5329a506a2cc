// Special forms: keyword entries that parse their own operand lists of
// variable names (Drop, IsDefined, VarType, ObjectTypeGet, the pointer forms).
#pragma once

#include <stdint.h>
#include "lang/value.h"

struct EngineState;

// Evaluates special form `id`; the current token is the form's name. On
// return the current token is the one after its ")".
[[nodiscard]] bool EvaluateSpecialForm(EngineState* st, uint16_t id, Value* result);
