// Built-in function dispatch: argument conversion by declared kind and
// routing by id to the handlers that the function families register.
#pragma once

#include <stdint.h>
#include "lang/keyword_table.h"
#include "lang/value.h"

struct EngineState;

// Handler contract: arguments are args[1..count] (args[0] stays empty),
// already converted to their declared kinds; `wide` is set when the call's
// text arguments were converted to wide text. The result arrives as the
// integer 0. Failure is reported through st->error. Most handlers need only
// some of the parameters, hence [[maybe_unused]].
#define BUILTIN(name)                                                                         \
    void name([[maybe_unused]] EngineState* st, [[maybe_unused]] uint16_t id,                 \
              [[maybe_unused]] int count, [[maybe_unused]] Value* result,                     \
              [[maybe_unused]] Value* args, [[maybe_unused]] bool wide)
typedef void (*BuiltinHandler)(EngineState* st, uint16_t id, int count, Value* result, Value* args,
                               bool wide);

// Calls function `id` with args[1..count]. `no_conversion` is set for
// functions that parse their own argument lists. `token_text` is the
// function's token (the dotted chain of an object expression).
[[nodiscard]] bool DispatchFunction(EngineState* st, const char* token_text, bool no_conversion,
                                    uint16_t id, Value* result, Value* args, int count);

// Raises 3057 with the hint "Argument number <position> could not be
// converted"; functions that read their own argument lists report through
// it as the dispatcher does. Always false.
bool raise_argument_not_number(EngineState* st, int position);

// Targets and conversions that belong to layers outside the handler tables:
// each layer installs its entries when it starts. While an entry is null, a
// call that needs it fails with 3046 as an id without a handler does, and a
// conversion that needs it fails with its kind's error.
struct DispatchHooks {
    // COM layer: adds a VARIANT representation to a value (argument kind V).
    bool (*to_variant)(EngineState* st, ValuePayload* value);
    // COM layer: turns a VARIANT holding a SAFEARRAY into an engine array
    // (argument kind A); false with the layer's own error on failure.
    bool (*safearray_to_array)(EngineState* st, ValuePayload* value);
    // COM layer: id 26, the object expression whose dotted chain is
    // `token_text`; reads the rest of the expression from the lexer.
    void (*object_expression)(EngineState* st, const char* token_text, Value* result);
    // Extender layer: extender functions (10000..10500).
    void (*extender_function)(EngineState* st, uint16_t id, Value* result, Value* args, int count,
                              bool wide);
};
extern DispatchHooks g_dispatch_hooks;
