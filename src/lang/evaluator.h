// The expression evaluator: recursive descent over the lexer's tokens,
// computing values as it goes; also performs assignments.
#pragma once

#include <stdint.h>
#include "base/error_numbers.h"
#include "base/exports.h"
#include "lang/value.h"

struct EngineState;

// Evaluates the expression (or assignment) at the current token into result.
// On return the current token is the first after the expression; failure is
// in st->error. Returns 1 on success, 0 on failure.
KESTR_API int ProcessSubExpression(EngineState* st, Value* result, int allow_assignment,
                                   int dereference_target);

// A statement's expression or assignment (the target read through a
// pointer when `through_pointer`), as ProcessSubExpression evaluates it.
int ProcessStatementExpression(EngineState* st, Value* result, bool through_pointer);
// The statement "name = expression" whose integer value is already known,
// with `slot` the name's slot in the current table: stored as the general
// assignment stores it, the value also left in *result.
void assign_integer_statement(EngineState* st, uint16_t slot, int32_t value, Value* result);
// The statement "name = name : text" with `slot` the name's slot in the
// current table, when the variable holds a plain text that can grow in
// place as the general assignment grows it; false, with nothing changed,
// when the general parse must run it.
bool append_text_statement(EngineState* st, uint16_t slot, const char* text, size_t length);

// Operators applied to evaluated operands; the result replaces `left`.
[[nodiscard]] bool ApplyArithmetic(EngineState* st, uint16_t op, Value* left, Value* right);
// The arithmetic, bitwise and logical operators on two integers: the error
// the operator raises for them (division by zero), or Err::None with *out.
Err IntegerArithmetic(uint16_t op, int32_t a, int32_t b, int32_t* out);
// Comparison `op` between two integers; false when op is no comparison.
bool IntegerComparison(uint16_t op, int32_t a, int32_t b, bool* holds);
// The binary operator level of a keyword id (0: no binary operator), from
// the loosest (1: "&&" "||") to the tightest ("**").
uint8_t BinaryLevel(uint16_t id);
[[nodiscard]] bool ApplyComparison(EngineState* st, uint16_t op, Value* left, Value* right);
[[nodiscard]] bool Concatenate(EngineState* st, Value* left, Value* right);
[[nodiscard]] bool ApplyUnary(EngineState* st, uint16_t op, Value* operand);

// A VARIANT operand gains the engine representation that its type suggests
// (integer, float or text) beside the VARIANT; other operands are left alone.
void add_plain_representation(EngineState* st, ValuePayload* v);

// A fresh working value: integer 0, no origin.
inline void init_value(Value* v) { SetInteger(&v->v, RK_VALUE, 0, 0); }
// Releases a working value and leaves it as integer 0.
void release_value(EngineState* st, Value* v);
