// The public interface of the engine DLL, for hosts and extenders: entry
// signatures, request codes, the sizes of the blocks a host allocates and
// hands over, the value flags, the keyword entry of function tables, and the
// value record and context block of host and extender calls. A host or an
// extender needs this header and nothing else of the engine's sources.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <stddef.h>
#include <stdint.h>

// The engine's own records; a host or an extender only passes them back.
struct EngineState;
struct Value;

// Requests of DoDaDllInit.
enum KestrRequest : int16_t {
    KESTR_REQ_HANDSHAKE = 0,   // arg3: interface version word
    KESTR_REQ_INITIALISE = 1,  // arg5: host module, arg6: product name
    KESTR_REQ_VARIABLES = 2,   // arg3: variable-table handle, arg5: capacity
    KESTR_REQ_HEAP = 3,        // arg3: heap region address, arg5: committed size
    KESTR_REQ_SHUTDOWN = 99,
};

// Bits 8-15 of the handshake word must carry this interface version.
constexpr uint32_t KESTR_INTERFACE_WORD = 0x1300;
constexpr uint32_t KESTR_HANDSHAKE_OK = 0xF1F0;
constexpr uint32_t KESTR_INITIALISED = 76;

// A host allocates the state block zero-filled with at least this many bytes.
constexpr size_t KESTR_STATE_BLOCK_BYTES = 256 * 1024;
// Bytes of one variable slot; the variable table holds capacity slots.
constexpr size_t KESTR_VARIABLE_SLOT_BYTES = sizeof(void*) == 8 ? 88 : 76;

typedef intptr_t(__cdecl* DoDaDllInitFn)(HWND hostWindow, HGLOBAL stateHandle, uintptr_t arg3,
                                         int16_t request, uintptr_t arg5, uintptr_t arg6,
                                         uintptr_t arg7);
typedef int(__cdecl* ProcessDaBatBufferFn)(HWND hostWindow, HGLOBAL stateHandle, HGLOBAL script,
                                           void* hostHandler, const void* hostKeywordTable);
typedef int(__cdecl* LoadMyStringFn)(void* state, HMODULE module, int number, char* buffer,
                                     int size);

// Hooks: the host handler is called with these negative function numbers
// and five records, a text (type 2) and four integers (type 1, each word
// also whole in the text field). KESTR_HOOK_STATEMENT's text is "1" (idle),
// "2" (before a statement of the main script) or "3" (before a statement of
// a user-defined function); the hook flags in the state block select them.
enum KestrHook : int32_t {
    KESTR_HOOK_STATEMENT = -1,  // text; buffer handle, line position, scope word, skip state
    KESTR_HOOK_CALL = -4,       // path; Call depth, 1 (or -1 after a failure)
    KESTR_HOOK_SCRIPT = -5,     // path; 1 (or -1 after a failure)
};
// A hook's integer answer: the host changed the current directory, which
// the engine then restores.
constexpr int32_t KESTR_HOOK_DIRECTORY_CHANGED = 1;

// Result codes a host or extender function hands to the result callback
// (and returns): 0 or more is success; these stop or report.
enum KestrResultCode : int32_t {
    KESTR_RESULT_MINOR_ERROR = -1,
    KESTR_RESULT_MODERATE_ERROR = -2,
    KESTR_RESULT_SEVERE_ERROR = -3,
    KESTR_RESULT_NO_MEMORY = -4,
    KESTR_RESULT_CANCEL = -5,
    KESTR_RESULT_STOP = -6,
    KESTR_RESULT_ARRAY_ERROR = -7,
};

// Requests of DLLServices(engine, request, a2, a3, a4, a5) that hosts use.
// The engine argument is the state block's handle (or its address).
enum KestrService : uint32_t {
    KESTR_SVC_HOST_VERSION = 2,     // a2: the host's version text for error reports
    KESTR_SVC_SCRIPT_PATH = 3,      // a2: path of the script about to run ("" keeps none)
    KESTR_SVC_INCLUDE_FLAGS = 4,    // a4: new flags, or -1 to read; result: the previous flags
    KESTR_SVC_CANCEL = 5,           // ask the running script to stop as Ctrl+Break does;
                                    // callable from any thread; 0 when cancelling is disabled
    KESTR_SVC_RUN_REPORT = 6,       // a2: KestrRunReport*; result 1, 0 when a2 is too small
    KESTR_SVC_PARAMETERS = 11,      // a2: ANSI parameter line, or a2 = 0 and a3 a wide one
    KESTR_SVC_SET_ERROR = 13,       // a4: the error number in force after the request
    KESTR_SVC_SILENT = 23,          // a4: 0 off, 1 on, other values read; a2: log file or null
    KESTR_SVC_SILENT_MESSAGE = 25,  // a2, a3: buffers of a4 bytes for the last silent box
    KESTR_SVC_TRACE = 26,           // a2: trace file (appended to), a4: 1 every statement,
                                    // 2 errors only, 0 off; result 1, 0 without a file
    KESTR_SVC_HEAP_ADDRESS = 41,    // a5: heap offset; result: its address
    KESTR_SVC_HEAP_COPY = 42,       // a2: text; result: heap offset of a copy, 0 out of memory
    KESTR_SVC_ERROR_INFO = 47,      // a2: text appended to the additional error information
    KESTR_SVC_HOST_WINDOW = 48,
};
constexpr uint32_t KESTR_SVC_LAST = 53;  // higher requests answer 0

// How the last run ended and the error that stopped it (request 6).
struct KestrRunReport {
    uint32_t size;        // set by the host: sizeof(KestrRunReport)
    int32_t run_error;    // error number the run ended with: 0 at the end of the text,
                          // 9000 after Exit, 9999 after a cancel ...
    int32_t run_result;   // the run loop's result: 1 end of text, -1 Return, 0 stopped
    int32_t error;        // number of the last reported error (the real number behind an
                          // indirect code); 0 when none was reported
    int32_t line;         // its line in `file`, 0 when unknown
    char file[MAX_PATH];  // the file that holds the line (an included file's own name)
    char message[2050];   // the error's message text
};

// Integer results; requests that answer an address or a handle need the
// full width on Win64.
typedef intptr_t(__stdcall* DLLServicesFn)(void* engine, uint32_t request, uintptr_t a2,
                                           uintptr_t a3, int32_t a4, uintptr_t a5);

// Value flags. FILE and BINBUF are integers with an extra bit, so every
// integer test looks at INT (0x1) alone.
enum ValueFlags : uint32_t {
    VF_UNDEFINED = 0,
    VF_INT = 0x1,
    VF_STRING = 0x2,
    VF_FILE_BIT = 0x4,
    VF_FILE = 0x1 | 0x4,
    VF_UNINITIALIZED = 0x8,
    VF_FLOAT = 0x20,
    VF_BINBUF_BIT = 0x40,
    VF_BINBUF = 0x1 | 0x40,
    VF_UNICODE = 0x80,
    VF_ARRAY = 0x100,
    VF_VARIANT = 0x200,
    VF_COMOBJ_BIT = 0x400,
    VF_COMOBJ = 0x200 | 0x400,
    VF_COMTEMP = 0x800,
    // Any of these makes a variable defined.
    VF_DEFINED_MASK = VF_INT | VF_STRING | VF_FLOAT | VF_UNICODE | VF_ARRAY | VF_VARIANT,
};

constexpr size_t KEYWORD_NAME_BYTES = 34;

struct KeywordEntry {
    uint32_t id;          // index in its table; also the token id
    uint32_t type;        // operator, function, constant, structure keyword ...
    uint32_t kinds_low;   // argument kinds 1-8, 4 bits each, argument 1 lowest
    uint32_t kinds_high;  // argument kinds 9-16
    uint32_t value;       // constants: the value; functions: required | optional << 8
    uint16_t length;      // of the name in bytes
    char name[KEYWORD_NAME_BYTES];  // lower case
};

static_assert(sizeof(KeywordEntry) == 56, "keyword entry layout");

enum KeywordType : uint32_t {
    KT_BINARY = 0,      // binary operator or punctuation
    KT_UNARY = 1,       // operator that may also be a prefix
    KT_FUNCTION = 2,
    KT_CONSTANT = 3,
    KT_STATEMENT = 4,   // function written as a statement, without parentheses
    KT_COMPARISON = 5,
    KT_SPECIAL = 6,     // parses its own operand list of names or expressions
    KT_STRUCTURE = 8,
    KT_NONE = 0xFF,     // an id outside every table
};

// What the dispatcher converts an argument to before the call.
enum ArgKind : uint8_t {
    AK_INTEGER = 0,
    AK_ANSI = 1,
    AK_FLOAT = 2,
    AK_ARRAY = 3,
    AK_VARIANT = 4,
    AK_WIDE = 5,
    AK_TEXT = 6,        // wide if any AK_TEXT argument of the call is wide
    AK_NT_TEXT = 7,     // wide on NT-family systems
    AK_MIXED_TEXT = 8,  // wide on NT when an AK_TEXT or AK_MIXED_TEXT argument is wide
    AK_ANY = 15,        // no conversion
};

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
#elif defined(_WIN64)
// Natural widths in the same field order; the context is seventeen words of
// which two (the version and the size) are 32-bit.
static_assert(sizeof(ExtenderValue) == 52, "extender value record layout");
static_assert(offsetof(ExtenderValue, real) == 24 && offsetof(ExtenderValue, integer) == 32 &&
                  offsetof(ExtenderValue, flags) == 36 && offsetof(ExtenderValue, text) == 40 &&
                  offsetof(ExtenderValue, internal) == 48,
              "extender value field offsets");
static_assert(sizeof(ExtenderContext) == 128, "extender context layout");
static_assert(offsetof(ExtenderContext, version) == 16 && offsetof(ExtenderContext, size) == 20 &&
                  offsetof(ExtenderContext, services) == 24 && offsetof(ExtenderContext, host_values) == 32 &&
                  offsetof(ExtenderContext, var_handler) == 56 &&
                  offsetof(ExtenderContext, array_swap_elements) == 120,
              "extender context field offsets");
#endif

// The ten-word entry of an extender (interfaces 2-5, 100005) and of the host.
typedef int(__stdcall* ExtenderEntryFn)(HWND owner, uintptr_t host_value, uint32_t magic,
                                        int32_t function, ResultCallbackFn callback,
                                        ExtenderContext* context, uint32_t* private_word,
                                        ExtenderValue* arguments, int32_t count,
                                        ExtenderValue* result);
