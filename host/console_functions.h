// The runner's host functions: StdOut, StdErr, StdIn and StdInEof.
#pragma once

#include "kestr44i.h"

// The host keyword table handed to the engine, ended by an entry whose
// name is empty.
extern const KeywordEntry kConsoleFunctions[];

// The host handler: answers the functions of kConsoleFunctions through the
// result callback and passes over the hooks.
int __stdcall console_function_handler(HWND owner, uintptr_t host_value, uint32_t magic,
                                       int32_t function, ResultCallbackFn callback,
                                       ExtenderContext* context, uint32_t* private_word,
                                       ExtenderValue* arguments, int32_t count,
                                       ExtenderValue* result);
