// User-defined functions and subroutines: the descriptor table, the
// definition lines that fill it, and the invocation of a defined body.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/script_buffer.h"

struct EngineState;
struct Value;

constexpr int UDF_PARAMETERS_MAX = 16;
constexpr int UDF_NAME_MAX = 30;
constexpr int UDF_PER_BLOCK = 16;

// One defined function. Descriptors live in movable blocks of 16 that stay
// locked from their allocation to their release, so st->udf_table can hold
// plain pointers.
struct FunctionDescriptor {
    uint16_t parameter_count;
    uint16_t name_length;
    HGLOBAL body;          // the copied body, still scrambled; null until #End...
    uint32_t body_start;   // the body's position in its script: its base offset
    uint32_t body_length;
    int32_t assign_target;
    int32_t subroutine;
    char name[UDF_NAME_MAX + 1];  // lower case
    char parameters[UDF_PARAMETERS_MAX][UDF_NAME_MAX + 1];
    char script_path[MAX_PATH + 1];
};

// The descriptor of a defined function (index = id - 4000); null when none.
FunctionDescriptor* function_descriptor(EngineState* st, int index);

// Reads "name(p1, p2) ; comment" into the descriptor. 1 on success, and
// also when the name is already defined (st->skipping_definition is then
// set and the rest is not read); 0 on a syntax error.
int ParseFunctionHeader(EngineState* st, const char* text, FunctionDescriptor* descriptor);

// The run loop's definition lines. `header` is the text after the keyword;
// `position` is where the line after the definition line begins, in
// `buffer`. False with the definition error set.
[[nodiscard]] bool open_function_definition(EngineState* st, bool subroutine, const char* header,
                                            const ScriptBuffer& buffer, uint32_t position);
// `line` is the end line as read; `position` the position after it.
[[nodiscard]] bool close_function_definition(EngineState* st, bool subroutine, const char* line,
                                             const ScriptBuffer& buffer, uint32_t position);

// Frees every body and descriptor block (engine shutdown, IntControl 78);
// returns how many bodies were freed.
int release_functions(EngineState* st);
// IntControl 78: release_functions, refused (1665) while a function runs.
[[nodiscard]] bool DiscardFunctions(EngineState* st, int* freed);

// Call kinds of InvokeFunction (any other value: a generic callback).
enum CallKind : int { CALL_ORDINARY = 0, CALL_DIALOG = 1, CALL_ERROR_HANDLER = 2, CALL_COM_EVENT = 3 };

// Runs in place of the body when given (the COM event sink): one argument word.
struct NativeHandler {
    bool (*call)(EngineState* st, uintptr_t word);
    uintptr_t word;
};

// Calls function `id` (4000 + index) with args[1..count]. The result is the
// value of the body's Return, else the integer 0. Returns true, or false
// with the error set: 9015 when the body stopped on an error it reported,
// 9000 and 9999 as they came.
[[nodiscard]] bool InvokeFunction(EngineState* st, uint16_t id, Value* result, Value* args, int count,
                                  const NativeHandler* native, int call_kind);

// A call of user-defined function `id` from the dispatcher, with the
// arguments as the caller evaluated them.
void CallUserFunction(EngineState* st, uint16_t id, Value* result, Value* args, int count);

// Installs the keyword lookup and error-handler hooks that reach the
// user-defined functions (idempotent).
void install_function_hooks();
// The keyword lookup's part of it (function_define.cpp).
void install_function_lookup();
