// The binary interface shared by extenders and the host callback (the value
// record, the context block, the result callback ZeradIrevav) and the
// calling routine for host functions and host hooks.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <stddef.h>
#include <stdint.h>
#include "base/stdcall_export.h"
#include "kestr44i.h"

struct EngineState;
struct Value;

// Hands the extender's or host's result to the engine: with a code of 0 or
// more the record is copied into the caller's result; with a negative code a
// plain string record is the error text. Returns the code, or -4 when the
// record cannot be copied.
KESTR_STDCALL_API int __stdcall ZeradIrevav(int code, void* reserved, ExtenderContext* context,
                                            ExtenderValue* result);

// The context block for a call whose result goes to `result`.
void build_extender_context(EngineState* st, Value* result, ExtenderContext* context);

// Calls host function `id` (1000..1998) with args[1..count] as the
// dispatcher converted them. False with the error set on failure; an
// extender-style error that was reported and let the script go on leaves
// 9014 with the continue flag and returns true.
[[nodiscard]] bool call_host_function(EngineState* st, uint16_t id, Value* result, Value* args,
                                      int count);

// Calls the host's hook `id` (KESTR_HOOK_STATEMENT with the text "1", "2"
// or "3", KESTR_HOOK_CALL, KESTR_HOOK_SCRIPT) with five records: the text,
// then four integers (each also whole in the text field, for handles on
// Win64). No host handler: nothing happens. *answer receives the
// host's integer answer (KESTR_HOOK_DIRECTORY_CHANGED ...). False with the
// error set when the host refused (9012 when it asked to stop the script).
[[nodiscard]] bool call_host_hook(EngineState* st, int id, const char* text, uintptr_t word2,
                                  uintptr_t word3, uintptr_t word4, uintptr_t word5,
                                  int32_t* answer = nullptr);

// The host's hook -1 with `text` and four words; the current directory is
// put back when the host reports that it changed it, and the pending error
// number is kept. False (error 9012) when the host asked to stop the script.
bool host_statement_hook(EngineState* st, const char* text, uintptr_t word2, uintptr_t word3,
                         uintptr_t word4, uintptr_t word5);
