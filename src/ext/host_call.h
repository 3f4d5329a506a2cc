// The binary interface shared by extenders and the host callback (the value
// record, the context block, the result callback ZeradIrevav) and the
// calling routine for host functions and host hooks.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <stddef.h>
#include <stdint.h>
#include "engine/kestr44i.h"
#include "ext/stdcall_export.h"

struct EngineState;
struct Value;

// Every ten-word call carries this word third, so that an entry can tell a
// call of this interface from a stray one.
constexpr uint32_t EXTENDER_CALL_MAGIC = 0x30030105;
constexpr uint32_t EXTENDER_CONTEXT_VERSION = 1010;
// The interface the host callback is called with.
constexpr uint32_t HOST_INTERFACE = 4;

// Result-only type flag: a wide string whose address stands in the integer
// field (on Win64, where an address does not fit, in the text field).
constexpr uint32_t EXTENDER_WIDE_RESULT = 0x1000;

// Packed like the engine's value payload, whose layout it mirrors on Win32
// (40 bytes); Win64 keeps the field order with natural widths.
#pragma pack(push, 4)
struct ExtenderValue {
    VARIANT variant;    // with flag 0x200
    double real;        // flag 32
    int32_t integer;    // flag 1
    uint32_t flags;
    void* text;         // char* (flag 2), wchar_t* (flag 128), array handle (flag 0x100)
    uint32_t internal;  // the engine's heap offset of the wide text
};
#pragma pack(pop)

typedef int(__stdcall* ResultCallbackFn)(int code, void* reserved, struct ExtenderContext* context,
                                         ExtenderValue* result);

// Built afresh for every call into an extender or the host and passed by
// address. The service entries that do not exist in this build are null.
struct ExtenderContext {
    EngineState* engine;
    Value* result;           // null during load, enumeration and unload
    uint32_t version;        // EXTENDER_CONTEXT_VERSION
    uint32_t size;           // sizeof(ExtenderContext)
    DLLServicesFn services;  // DLLServices
    uintptr_t host_values[3];
    void* var_handler;
    void* arr_handler;
    void* array_services;
    void* store_error_info;
    void* binary_services;
    void* var_handler_w;
    void* array_strings_to_ansi;
    void* array_strings_to_unicode;
    void* array_swap_elements;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ExtenderValue) == 40, "extender value record layout");
static_assert(offsetof(ExtenderValue, real) == 16 && offsetof(ExtenderValue, integer) == 24 &&
                  offsetof(ExtenderValue, flags) == 28 && offsetof(ExtenderValue, text) == 32,
              "extender value field offsets");
static_assert(sizeof(ExtenderContext) == 68, "extender context layout");
static_assert(offsetof(ExtenderContext, services) == 16 &&
                  offsetof(ExtenderContext, var_handler) == 32 &&
                  offsetof(ExtenderContext, array_swap_elements) == 64,
              "extender context field offsets");
#endif

// The ten-word entry of an extender (interfaces 2-5, 100005) and of the host.
typedef int(__stdcall* ExtenderEntryFn)(HWND owner, uintptr_t host_value, uint32_t magic,
                                        int32_t function, ResultCallbackFn callback,
                                        ExtenderContext* context, uint32_t* private_word,
                                        ExtenderValue* arguments, int32_t count,
                                        ExtenderValue* result);

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

// Routes the dispatcher's host and extender ids here (g_dispatch_hooks).
void install_host_route();
