// ProcessDaBatBuffer: prepares the host's script block (UTF-16, line ends,
// #include, scrambling), resets the run state and runs the script.
#include "engine/entry.h"

#include <string.h>
#include "base/cursors.h"
#include "base/engine_state.h"
#include "base/error_numbers.h"
#include "base/stack_guard.h"
#include "base/state_lock.h"
#include "engine/run_loop.h"
#include "engine/script_loading.h"
#include "lang/error_driver.h"
#include "lang/evaluator.h"
#include "lang/pump.h"
#include "lang/token_cache.h"
#include "lang/variables.h"
#include "lib/binary_buffers.h"
#include "lib/file_table.h"

namespace {

constexpr DWORD kSettleMilliseconds = 20;


bool starts_with_byte_order_mark(const uint8_t* text, SIZE_T size) {
    return size >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF));
}

// Brings the script's text into the form the run loop reads, in place:
// UTF-16 text (it starts with a byte-order mark) becomes the ANSI code page,
// then the line ends are normalised.
bool convert_text(EngineState* st, HGLOBAL script) {
    auto* text = static_cast<uint8_t*>(GlobalLock(script));
    if (!text) return false;
    const SIZE_T size = GlobalSize(script);
    bool ok = true;
    if (starts_with_byte_order_mark(text, size)) {
        ok = ConvertUnicodeScript(st, text, static_cast<uint32_t>(size)) > 0;
        // Nothing is shown, but the host learns why nothing ran.
        if (!ok) {
            st->last_run_result = 0;
            st->last_run_error = static_cast<int32_t>(Err::UnicodeScriptConvertError);
            keep_report(st, st->last_run_error, false);
        }
    }
    if (ok) NormaliseLineEnds(reinterpret_cast<char*>(text));
    GlobalUnlock(script);
    return ok;
}

// The #include expansion failed (for want of memory, nested too deeply, or
// an include file whose name the loader left in `file`): nothing runs, the
// failure is reported, and the host finds its number as the last run's error.
void note_include_failure(EngineState* st, int32_t outcome, const char* file) {
    st->last_run_result = 0;
    st->last_run_error = static_cast<int32_t>(include_failure_error(outcome));
    report_include_failure(st, nullptr, outcome, file);
}

// Scrambles the prepared text in place, as every script buffer is held,
// and measures it.
bool scramble_block(EngineState* st, HGLOBAL script, uint32_t* length) {
    auto* text = static_cast<uint8_t*>(GlobalLock(script));
    if (!text) return false;
    *length = static_cast<uint32_t>(strlen(reinterpret_cast<char*>(text)));
    ScrambleScript(st, text, *length);
    GlobalUnlock(script);
    return true;
}

// Everything the text goes through before it runs: conversion, #include
// expansion when it is switched on, and scrambling. The loader may replace
// the block; *script follows it.
bool prepare(EngineState* st, HGLOBAL* script, uint32_t* length) {
    if (!convert_text(st, *script)) return false;
    if (st->include_flags & INCLUDE_EXPAND) {
        char file[LINE_BUFFER_BYTES] = "";
        const int32_t outcome = PrepareScript(st, script, st->script_path, "", file, 0);
        if (outcome <= PREPARE_FILE_FAILED) {
            note_include_failure(st, outcome, file);
            return false;
        }
    }
    return scramble_block(st, *script, length);
}

// Resets the state that every run starts from. Handler modes, hook flags
// and include flags carry over from the previous run.
void reset_run_state(EngineState* st, void* host_handler, const void* host_keywords) {
    HWND parent = st->host_window ? GetParent(st->host_window) : nullptr;
    st->owner_window = parent ? parent : st->host_window;
    st->cancel_requested = 0;
    st->report_cancel = 0;
    st->debug_switches = 0;
    st->structure_depth = 0;
    st->error_mode = ERRMODE_CANCEL;
    st->exclusive = 0;
    st->last_error = 0;
    st->statement_kind = 0;
    st->skip_state = 0;
    st->last_if = -1;
    st->call_depth = 0;
    st->function_nesting = 0;
    st->cancel_report = 1;
    // Nothing of a previous run may stand in the way of the first error.
    st->error = 0;
    st->pending_line_error = 0;
    st->host_handler = reinterpret_cast<HostHandlerFn>(host_handler);
    // Kept tokens may name the previous host's functions.
    if (st->host_keywords != host_keywords) note_name_tables_changed();
    st->host_keywords = host_keywords;
}

// Before and after the run the host's window settles: the cursor is set
// and the messages waiting for it are handled. A host without a window (a
// console runner) has no window to settle and no cursor to show, so its
// messages are only pumped: the wait would delay every run for nothing and
// the cursor would bring up the display.
void settle(EngineState* st, EngineCursor cursor) {
    if (!st->host_window) {
        PumpMessages(st);
        return;
    }
    st->cursor = engine_cursor(st, cursor);
    WaitPumping(st, kSettleMilliseconds);
    PumpMessages(st);
    SetCursor(st->cursor);
}

void run(EngineState* st, HGLOBAL script, uint32_t length) {
    const StackFloorScope floor(st);
    settle(st, EngineCursor::Wait);
    Value result;
    init_value(&result);
    const ScriptBuffer buffer{script, length, 0};
    uint32_t line_start = 0, position = 0;
    RunScript(st, &result, buffer, &line_start, &position);
    release_value(st, &result);
    free_binary_buffers(st);  // a script's buffers end with its run
    release_file_slots(st);  // a run leaves no file open behind it
    settle(st, EngineCursor::Arrow);
}

}  // namespace

KESTR_API int ProcessDaBatBuffer(HWND hostWindow, HGLOBAL stateHandle, HGLOBAL script,
                                 void* hostHandler, const void* hostKeywordTable) {
    StateLock lock(stateHandle);
    EngineState* st = lock.get();
    if (!st || !script) return 0;
    st->host_window = hostWindow;

    // The loader resizes the host's block in place (the handle of a movable
    // block survives that); the run reads whichever handle it left.
    HGLOBAL prepared = script;
    uint32_t length = 0;
    if (!prepare(st, &prepared, &length)) return 0;
    int outcome = 0;
    if (lock_current_table(st)) {
        if (st->heap_base) {
            reset_run_state(st, hostHandler, hostKeywordTable);
            run(st, prepared, length);
            outcome = 1;
        }
        unlock_current_table(st);
    }
    return outcome;
}
