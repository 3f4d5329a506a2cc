// Integer expressions evaluated straight from a line's kept tokens: the
// loop conditions and counters that most statements of a busy loop are made
// of, without reading their tokens one by one and descending the parser.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct CachedLine;
struct EngineState;
struct Value;

constexpr size_t EXPRESSIONS_PER_LINE = 3;
constexpr size_t FAST_STEPS_MAX = 24;

// One step of a compiled expression, in postfix order.
struct FastStep {
    int32_t value;  // a literal's value
    uint16_t arg;   // a variable's token, or an operator's keyword id
    uint8_t op;     // FastOp
};

// An expression of a kept line, compiled at its second run (the first keeps
// its tokens).
struct CompiledExpression {
    uint16_t first;         // its first token; NO_TOKEN: the place is free
    uint16_t end;           // the token after it
    uint16_t last_keyword;  // its last keyword token's id, or NO_TOKEN
    uint16_t last_name;     // its last name token, or NO_TOKEN
    uint8_t state;          // FastState
    uint8_t step_count;
    uint8_t token_count;
    uint8_t binary;         // it has an operator
    FastStep steps[FAST_STEPS_MAX];
};

// Frees every place of a line's compiled expressions.
void forget_expressions(CompiledExpression* expressions);

// Evaluates the expression that begins at the lexer's current token into
// *result when it is made only of variables, integer literals and integer
// constants, parentheses and the operators that integers take, and every
// variable holds an integer now. The lexer is then left on the token after
// it, as the general parse leaves it, and the result is the same value. False,
// with nothing changed, for anything else: the general parse takes over.
bool fast_integer_expression(EngineState* st, Value* result);

// The same for the expression after "name =" when the current token is
// that name: the lexer is left after the expression, as the general parse
// of the assignment leaves it, and the caller stores the value.
bool fast_assigned_expression(EngineState* st, Value* result);

// The kept tokens a and a + 1 follow each other in the line, with nothing
// but blanks between them.
bool kept_tokens_adjacent(const CachedLine& e, uint16_t a);

// The compiled expression of a kept line that begins at its token `first`,
// compiled now if all its tokens are kept; null when it cannot be (yet).
const CompiledExpression* compiled_expression(EngineState* st, CachedLine& e, uint16_t first);

// Whether a compiled expression is a variable alone.
bool compiled_lone_variable(const CompiledExpression& x);

// The integer value of a compiled expression whose line is the statement
// about to run, as the general parse of that statement would compute it;
// false, with nothing changed, where the general parse must run instead.
bool kept_integer(EngineState* st, const CachedLine& e, const CompiledExpression& x, int32_t* value);

// Whether the subscripts after the current token "[" are kept tokens of
// names, numbers, constants and integer operators only: reading them can
// run no function, so nothing can drop the array meanwhile.
bool kept_subscripts_run_nothing(EngineState* st);

// Whether the current token, a kept name, is a function's argument on its
// own (a "," or ")" follows) and the rest of the call's arguments are kept
// tokens that can run nothing (names of plain integers and texts, numbers,
// texts, constants and integer operators).
bool kept_argument_is_lone_name(EngineState* st);
