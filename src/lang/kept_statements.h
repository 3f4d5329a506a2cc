// Statements run straight from a kept line: the structure lines, counting
// steps and integer assignments that a busy loop is made of, and every plain line of a region
// being skipped, without cutting the line into tokens again, dispatching on
// its first word and descending the statement driver. The form of a line is
// worked out from its kept tokens; the general driver takes every line and
// every run this cannot do exactly as it would (errors, tracing, debugging,
// values that are not integers).
#pragma once

#include <stdint.h>

struct CachedLine;
struct CachedLineRef;
struct EngineState;
struct ScriptBuffer;
struct Value;

// What a kept line's statement is, as far as its kept tokens tell.
struct KeptForm {
    uint8_t kind;          // KeptKind; 0 until worked out
    uint8_t tried_tokens;  // the line's kept token count when it was worked out
    uint8_t expression;    // its compiled expression's place, or NO_KEPT_EXPRESSION
    uint8_t step;          // a For's step after "by", or NO_KEPT_EXPRESSION
};
constexpr uint8_t NO_KEPT_EXPRESSION = 0xFF;

// Not run from its kept form: the general driver runs the statement.
constexpr int KEPT_NOT_RUN = -2;

// Runs the statement of a kept line (no label, no substitution) when its
// form allows and nothing watches statements, with every effect the general
// driver's run would have had, and returns its StatementOutcome; else
// KEPT_NOT_RUN, with nothing changed.
int run_kept_statement(EngineState* st, Value* result, const char* line, const ScriptBuffer& buffer,
                        uint32_t line_start, uint32_t* position, const CachedLineRef& kept);
