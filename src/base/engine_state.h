// EngineState: the per-instance block that the host allocates and hands to
// every entry, and the process-wide tables shared by all instances.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/spare_blocks.h"
#include "base/value_record.h"
#include "kestr44i.h"

// Every line-sized buffer: 2048 characters, a terminator and a spare byte.
constexpr size_t LINE_BUFFER_BYTES = 2050;
constexpr size_t LINE_MAX_CHARS = 2048;

constexpr int VARIABLE_TABLES = 101;
constexpr int STRUCTURE_FRAMES = 100;
constexpr int FILE_SLOTS = 128;
constexpr int BINBUF_SLOTS = 128;
constexpr int DLL_SLOTS = 10;
constexpr int EXTENDER_SLOTS = 10;
constexpr int UDF_SLOTS = 512;
constexpr int UDF_BLOCKS = 32;
// IntControl request numbers run from 1 to this; request 13 has this many option slots.
constexpr int IC_REQUEST_LAST = 101;
constexpr int IC_OPTION_SLOTS = 11;
constexpr uint16_t NO_FUNCTION = 0xFFFF;

// The include flags: expand #include at load time, and turn a remaining
// #include line into a Call when it runs.
constexpr uint32_t INCLUDE_EXPAND = 0x1;
constexpr uint32_t INCLUDE_AT_RUN_TIME = 0x2;

// Bits of hook_flags: which host hooks the engine calls.
constexpr uint32_t HOOK_FLAG_IDLE = 0x1;       // hook -1 "1" from the cancel-key poll
constexpr uint32_t HOOK_FLAG_STATEMENT = 0x2;  // hook -1 "2"/"3" before every statement
constexpr uint32_t HOOK_FLAG_CALL = 0x4;       // hook -4 around Call
constexpr uint32_t HOOK_FLAG_SCRIPT = 0x8;     // hook -5 when another script file starts

// ErrorMode values.
enum ErrorModeValue : int32_t { ERRMODE_OFF = 0, ERRMODE_CANCEL = 1, ERRMODE_NOTIFY = 2 };

// The host's function entry has the shape of an extender entry.
typedef int(__stdcall* HostHandlerFn)(void* a1, void* a2, void* a3, void* a4, void* a5, void* a6,
                                      void* a7, void* a8, void* a9, void* a10);

// One entry of the variable-table registry (id 0 is the main script's table).
struct VariableScope {
    uint16_t id;
    HGLOBAL handle;
    uint32_t sequence;
    uint32_t created;  // tick count at creation
    uint16_t capacity;
    uint16_t used;     // one more than the highest slot handed out
    uint16_t last_assigned;  // slot of the latest assignment into this table
};

// The current variable table, cached from its registry entry.
struct CurrentTable {
    uint16_t id;
    HGLOBAL handle;
    uint32_t sequence;
    uint32_t created;
    uint16_t capacity;
    uint16_t used;
    VariableSlot* slots;  // locked while the table is current
};

// One open file of FileOpen (lib/file_table.h): mode holds FILE_MODE_* bits;
// the read buffer is a fixed global block of buffer_size bytes whose bytes
// [read_pos, read_end) are not read yet.
struct FileEntry {
    HANDLE handle;
    char name[MAX_PATH];
    uint32_t mode;
    HGLOBAL buffer;
    uint32_t buffer_size;
    uint32_t read_pos;
    uint32_t read_end;
    uint8_t text_kind;       // 0 ANSI, 1 UTF-16 little-endian, 2 UTF-16 big-endian
    uint8_t unicode_result;  // FileRead returns wide text
};

struct BinaryBufferEntry {
    HGLOBAL handle;
    uint8_t* data;
    uint32_t size;
    uint32_t eod;
    uint8_t ole_type;       // BinaryOleType: data type 1-11, 0 none
    uint8_t ole_direction;  // 1, 2 or 3
};

// One entry of the structure stack: If, While, For, ForEach, Switch, GoSub,
// and the frames of Call levels and user-defined-function calls.
enum FrameState : uint8_t {
    FS_RUN = 0,
    FS_SKIP = 1,          // condition false, no case matched yet, loop finished
    FS_SKIP_NESTED = 2,   // opened inside a skipped region
    FS_CONTINUE = 4,
    FS_BREAK = 8,
};
struct StructureFrame {
    uint16_t type;             // a FrameType (lang/frame_types.h)
    uint32_t resume_position;  // Switch: high half of the switch value
    uint32_t line_position;
    HGLOBAL buffer;
    uint16_t function;         // user-defined function when opened, 0xFFFF = main
    uint8_t state;
    uint8_t saved_in_loop;
    uint16_t variable;         // For/ForEach variable; Switch: low half; Call/function: returned mark
    uint16_t collection;       // ForEach: hidden collection variable, 0xFFFF (NO_SLOT) = none
    uint16_t assign_table;     // Call/function: the caller's assignment in progress,
    uint16_t assign_slot;      // spared by Drop while the callee runs
};

// The last error that the error path reported: the real number behind an
// indirect code, where its line came from, and the error text shown.
struct ErrorReport {
    int32_t number;
    int32_t line;                        // 0 when unknown
    int32_t line_in_function;
    int32_t marker_level;                // -1 when the buffer has no origin markers
    char file[MAX_PATH];
    char function[VARIABLE_NAME_BYTES];  // the user-defined function that ran, "" for none
    char text[LINE_BUFFER_BYTES];
};

struct CachedLine;
struct TokenCache;

// The lexer's state: one token ahead in the current line (see lang/lexer.h).
// Where the items of a walked list text were last found.
struct ListWalk {
    const void* lead;   // the lead-byte table the walk stepped by
    uint32_t length;    // the text's length
    int32_t index;      // the item found last, and where it begins
    uint32_t offset;
    char delimiter;
};

struct LexerState {
    const char* read;         // current position in the line
    const char* token_start;  // where the current token began
    uint8_t kind;             // TokenKind
    uint16_t id;              // keyword id of a kind-1 token; 0xFFFF for a raw word
    uint16_t slot;            // variable slot of a kind-2 token
    uint16_t text_length;
    uint8_t address_of;       // the previous token was a prefix "&"
    uint8_t object_dereference;  // the dereference flag, kept for an object expression
    uint8_t uncacheable;      // the word just read was placed by a variable's kind
    // Words of their own, apart: every token read tests both right after the
    // previous one wrote the neighbouring bytes, and a wider read of freshly
    // written narrower fields stalls the processor.
    int32_t dereference;      // a special form's operand began with "*"
    // The kept tokens of the line being read (lang/token_cache.h), or null.
    CachedLine* cache;
    const char* cache_base;   // where that line begins
    uint32_t cache_stamp;     // the entry's stamp when it was taken
    uint16_t cache_next;      // the kept token expected next
    uint16_t cache_current;   // the current token's place among the kept ones, 0xFFFF: none
    int32_t persistent_name;  // PtrPersistent is reading its operand
    char name[VARIABLE_NAME_BYTES + 8];  // lower-case variable name (or decorated persistent name)
    char text[LINE_BUFFER_BYTES + 2];    // room for a double-byte pair at the limit
};

struct EngineState {
    // The host's handler and the user-defined-function blocks (the variable table is `table`).
    HostHandlerFn host_handler;
    HGLOBAL udf_blocks[UDF_BLOCKS];
    void* udf_table[UDF_SLOTS];

    // Work buffers, one line each.
    char line[LINE_BUFFER_BYTES];            // the run loop's current line
    char substituted[LINE_BUFFER_BYTES];     // result of %substitution%
    char scratch[LINE_BUFFER_BYTES];
    char directory[LINE_BUFFER_BYTES];       // current directory / label search
    char offending_line[LINE_BUFFER_BYTES];  // shown in error reports
    char error_text[LINE_BUFFER_BYTES];      // "number:  message"

    // Windows, the statement being run and the lexer.
    HWND host_window;
    HWND owner_window;
    int32_t statement_kind;
    int32_t last_condition;
    int32_t skip_state;
    LexerState lexer;

    // Host keywords, debug and trace switches, hook flags (the main table is scopes[0]).
    const void* host_keywords;
    uint32_t debug_switches;
    uint32_t trace_switches;
    uint32_t hook_flags;  // HOOK_FLAG_* bits

    // Open files and binary buffers.
    FileEntry files[FILE_SLOTS];
    BinaryBufferEntry binbufs[BINBUF_SLOTS];

    // Error state: the pending error and what the last run came to.
    uint16_t error;        // current error number, 0 = none
    uint16_t trace_error;
    int32_t last_run_error;
    int32_t last_run_result;
    uint32_t last_statement_position;
    int32_t indirect_error;
    // The variable the current line assigns (table id and slot, 0xFFFF =
    // none), kept from Drop while its right-hand side runs; and how deeply
    // the expression being evaluated nests.
    uint16_t assign_table;
    uint16_t assign_slot;
    uint16_t expression_depth;

    // Cursors.
    HCURSOR cursor;
    HCURSOR wait_cursor;
    HCURSOR arrow_cursor;

    // Run-time switches and settings.
    int32_t error_mode;
    int32_t exclusive;
    int32_t last_error;
    int32_t pending_cancel;
    int32_t last_if;
    int32_t in_loop;
    int32_t cancel_requested;
    int32_t report_cancel;
    int32_t sounds;
    int32_t pretty_dialogs;

    // The structure stack.
    int32_t structure_depth;
    StructureFrame frames[STRUCTURE_FRAMES];

    // Loaded DLLs and extenders.
    HMODULE dll_modules[DLL_SLOTS];
    int32_t dll_count;
    HMODULE extender_modules[EXTENDER_SLOTS];
    uint32_t extender_private[EXTENDER_SLOTS];
    uint32_t extender_interface[EXTENDER_SLOTS];
    int32_t extender_count;

    // Entry points resolved at start-up.
    FARPROC toolhelp[5];
    FARPROC block_input;
    FARPROC reg_delete_key_ex;

    // Script path and include flags.
    char script_path[MAX_PATH];
    uint32_t include_flags;

    // User-defined functions: the running one and the definition being read.
    uint16_t current_function;
    int32_t in_definition;
    int32_t skipping_definition;
    int32_t function_count;
    int32_t function_body;
    // Where the open definition's #Define... line began (its 3723 report).
    uint32_t definition_line_position;

    // The string heap.
    uint8_t* heap_base;         // base address; offsets count from here
    uint8_t* heap_commit_base;  // where more of the region is committed
    uint32_t heap_end;          // offset of the end marker
    uint32_t heap_committed;    // committed bytes of the region
    // The text last grown by an append and its length, so that the next
    // append to it need not measure it; forgotten when the block is freed.
    uint32_t append_block;
    uint32_t append_length;
    // A text whose items a loop is taking one by one (lib/item_list.cpp)
    // and where the last one was found; the heap drops the mark when the
    // block is freed or grown, the only ways a used block's text changes.
    uint32_t walked_block;
    ListWalk list_walk;
    // A text whose release is put off while the right-hand side of an
    // in-place append runs (lang/evaluator.cpp); set when it was released.
    uint32_t pinned_block;
    uint8_t pinned_released;

    // Additional error information (1025-byte block).
    HGLOBAL error_info;

    // The variable-table registry and the current table.
    VariableScope scopes[VARIABLE_TABLES];
    int32_t current_scope;
    uint32_t instance_counter;
    CurrentTable table;

    // Settings and other values.
    char product_name[20];
    HMODULE host_module;
    uintptr_t host_values[3];   // handed to extenders and the host callback
    int32_t decimals;           // FloatToText setting, -1 at start
    UINT code_page;             // ANSI <-> UTF-16 conversions
    uint32_t registry_view;     // KEY_WOW64_64KEY under WOW64
    int32_t default_window_bottom;
    TEXTMETRICA system_font;
    int32_t silent;             // no user interface: message boxes go to the log
    char log_file[MAX_PATH];
    char silent_text[LINE_BUFFER_BYTES];
    char silent_caption[LINE_BUFFER_BYTES];

    // Run loop (see engine/run_loop.h).
    uint16_t pending_line_error;     // 3722 left by the line reader for the run loop
    uint32_t current_line_position;  // the line being run, for reports
    uint16_t current_line_function;
    HGLOBAL current_buffer;
    int32_t call_depth;
    DWORD last_pump_tick;            // the run loop pumps once per clock tick
    int32_t function_nesting;
    int32_t no_pump;                 // IntControl: the message pump is not run
    int32_t cancel_disabled;         // IntControl: Ctrl+Break does not cancel
    int32_t cancel_report;           // IntControl: report a cancel with 194
    int32_t suppress_reports;
    int32_t debug_output;            // IntControl: lines go to the debugger output

    // Nesting of RunScript: only the outermost run reads into `line`.
    int32_t run_depth;
    // A function body kept locked from one call to the next until the
    // outermost run ends (base/script_buffer.h), and its text.
    HGLOBAL parked_script;
    const uint8_t* parked_text;
    // Script nesting stops with an error before the stack pointer goes below
    // this address (engine/stack_guard.h); 0 while no entry is running.
    uintptr_t stack_floor;

    // IntControl settings kept for other families (see lib/intcontrol.cpp).
    int32_t termination_flags;       // IntControl 12; bits 3 and 2 feed cancel_disabled/suppress_reports
    char termination_text[256];      // IntControl 12 text kept for the host
    char list_delimiter;             // IntControl 29; 0 = the default, a tab
    int32_t two_digit_years;         // IntControl 41 off; 0 = four-digit years, the default
    // File settings (lib/files_*.cpp): share modes of FileOpen for reading
    // (IntControl 39, default 1) and writing (40, default 0), its read
    // buffer (65: -2 whole file, 0 none, else bytes), FileWrite's line end
    // (53: 0 none, 1 CR LF, 2 LF, 3 CR, 4 tab), listing hidden and system
    // files (5), and the long-name re-check of wildcard lookups (91).
    int32_t share_read;
    int32_t share_write;
    int32_t read_buffer_setting;
    int32_t line_terminator;
    int32_t list_hidden;
    int32_t name_recheck;
    int32_t background_mode;         // set by the host: no file prompts
    // Settings of the numbered requests that only store them for the
    // families that read them, indexed by request number; the second
    // table holds a request's p2 where it keeps one.
    int32_t ic_setting[IC_REQUEST_LAST + 1];
    int32_t ic_second_setting[IC_REQUEST_LAST + 1];
    int32_t ic_option_slot[IC_OPTION_SLOTS];
    int32_t profile_broadcast;       // IniWrite's profile-changed broadcast is running

    // Statements.
    int32_t inside_execute;
    int32_t execute_error_mode;
    uint32_t foreach_counter;        // numbers the hidden collection variables

    // Error handling (see lang/error_driver.h).
    int32_t error_handler_mode;      // 0 none, 1 GoTo, 2 GoSub, 3 function
    int32_t cancel_handler_mode;     // the same; -1 in a Called script
    char error_handler_name[32];
    char cancel_handler_name[32];
    char user_error_text[256];
    char extender_error_text[LINE_BUFFER_BYTES];
    int32_t continue_flag;
    int32_t extended_error;
    char host_version_text[64];
    char support_address[MAX_PATH];
    // The statement being driven: its text and where it came from, so that
    // a report made during it (ErrorEvent) or after it can locate its line.
    const char* statement_line;
    HGLOBAL statement_buffer;
    uint32_t statement_buffer_length;
    uint32_t statement_buffer_base;
    uint32_t statement_position;
    ErrorReport last_report;         // read by the console host through a service request

    // Debug trace (see lang/trace.h). trace_switches holds the trace mode
    // (0 off, 1 every statement, 2 errors only), debug_switches the debug
    // mode (0 off, 1 on, -1 on including skipped statements).
    char trace_file[MAX_PATH];
    char last_traced_line[LINE_BUFFER_BYTES];
    uint32_t trace_options;          // TRACE_OPTION_* bits
    DWORD trace_start_tick;          // 0 until the first record after switching on
    uint16_t trace_function;         // function last announced by "In UDF" (NO_FUNCTION: main)
    int32_t caller_trace_mode;       // the caller's mode, for DebugTrace(22) in a callee
    int32_t trace_text_pending;      // a statement's text is written, its outcome not yet
    char trace_function_args[LINE_BUFFER_BYTES];  // written under the next "In UDF" line
    char debug_variable[256];        // the debugger's variable
    char debug_outcome[LINE_BUFFER_BYTES];  // the previous statement's outcome, for the debugger
    RECT debug_rect;
    int32_t debug_rect_saved;
    int32_t debugger_started;
    int32_t initialised;
    // Blocks kept between user-defined function calls and nested runs:
    // emptied (zero-filled) private variable tables of the main table's
    // capacity, the caller-state records and the nested runs' line buffers.
    SpareBlocks spare_tables;
    SpareBlocks spare_caller_states;
    SpareBlocks spare_lines;
    // The tokens of lines already run (lang/token_cache.h), made at first use.
    TokenCache* token_cache;
    int32_t token_cache_unavailable;
};

static_assert(sizeof(EngineState) <= KESTR_STATE_BLOCK_BYTES, "state block outgrew the host's allocation");

// The item-list delimiter used when a function is given none (IntControl 29).
inline char default_item_delimiter(const EngineState* st) {
    return st->list_delimiter ? st->list_delimiter : '\t';
}

// Process-wide state, written by the first initialisation only.
struct OsInfo {
    DWORD major, minor, build;
    bool is_9x, is_nt, is_win95, is_win95_gold, is_win98, is_winme, is_98_or_me;
    bool is_9x_or_nt4, is_nt5_plus, is_nt5_later, is_nt6_plus, is_wow64;
    int dbcs;
    bool detected;
};
extern OsInfo g_os;
extern uint8_t ScriptBytePermutation[256];
extern uint8_t ScriptByteInverse[256];
extern HINSTANCE ModuleInstance;
extern volatile LONG EntryBusy;

// The engine's own module: the DLL, or the program that links the engine.
HINSTANCE engine_module();
