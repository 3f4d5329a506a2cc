// The run loop: reads a script buffer line by line, passes over comments,
// labels and function definitions, substitutes %names%, announces each line
// to the host, runs it from its kept form or hands it to the statement
// driver, and keeps the user interface alive between statements.
#include "engine/run_loop.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/debugger.h"
#include "lang/error_driver.h"
#include "lang/evaluator.h"
#include "lang/functions.h"
#include "lang/host_call.h"
#include "lang/kept_statements.h"
#include "lang/pump.h"
#include "lang/statements.h"
#include "lang/token_cache.h"
#include "lang/trace.h"
#include "lang/variables.h"

namespace {

// What became of one line.
enum LineOutcome : int {
    LINE_STOPPED = 0,      // error, cancel or terminating code
    LINE_DONE = 1,         // ran, or passed over; read on
    LINE_RETURNED = -1,    // Return ended the buffer
    LINE_DEFINITION = 2,   // a definition line failed, or a body line was too long
};

constexpr DWORD PUMP_INTERVAL_MS = 10;

// ------------------------------------------------------------------ the loop's line

// The outermost run reads into the state's line buffer. A nested run (Call,
// a function body, a callback) needs a line of its own: the lexer of the
// statement that started it still points into the caller's line.
class RunLine {
public:
    explicit RunLine(EngineState* st) : st_(st) {
        if (st->run_depth++ == 0) {
            text_ = st->line;
        } else {
            owned_ = take_spare_block(st->spare_lines, GMEM_FIXED, LINE_BUFFER_BYTES);
            text_ = static_cast<char*>(owned_);
        }
        if (text_) text_[0] = '\0';
    }
    ~RunLine() {
        give_spare_block(st_->spare_lines, owned_);
        // The entry's work ends with its outermost run.
        if (--st_->run_depth == 0) unpark_script(st_);
    }
    char* text() const { return text_; }

private:
    EngineState* st_;
    HGLOBAL owned_ = nullptr;
    char* text_ = nullptr;
};

// ------------------------------------------------------------------ reports

// Reports an error of the loop itself against `text` (severity 13: the
// run ends). The error stays as the run's error number.
void report_line_error(EngineState* st, const char* text, uint16_t error) {
    raise(st, error);
    if (text != st->offending_line) lstrcpynA(st->offending_line, text, LINE_BUFFER_BYTES);
    ReportError(st, nullptr, 1, st->error, SEVERITY_SEVERE);
}

// ------------------------------------------------------------------ definitions

enum class DefinitionLine { None, DefineFunction, DefineSubroutine, EndFunction, EndSubroutine };

struct DefinitionWord {
    const char* word;
    size_t length;
    DefinitionLine kind;
};
constexpr DefinitionWord kDefinitionWords[] = {
    {"#definefunction", 15, DefinitionLine::DefineFunction},
    {"#definesubroutine", 17, DefinitionLine::DefineSubroutine},
    {"#endfunction", 12, DefinitionLine::EndFunction},
    {"#endsubroutine", 14, DefinitionLine::EndSubroutine},
};

// Compared as a prefix without regard to case, as the loader counts them.
DefinitionLine definition_kind(const char* line) {
    for (const DefinitionWord& w : kDefinitionWords)
        if (_strnicmp(line, w.word, w.length) == 0) return w.kind;
    return DefinitionLine::None;
}

size_t definition_word_length(DefinitionLine kind) {
    for (const DefinitionWord& w : kDefinitionWords)
        if (w.kind == kind) return w.length;
    return 0;
}

// Opens or closes a function or subroutine definition (lang/functions.h):
// the header follows the keyword, the body starts at `position`, after
// this line, and is copied out of `buffer` when the end line closes it.
bool DefineFunctionLine(EngineState* st, DefinitionLine kind, const char* line, const ScriptBuffer& buffer,
                        uint32_t position) {
    switch (kind) {
    case DefinitionLine::DefineFunction:
    case DefinitionLine::DefineSubroutine: {
        const bool subroutine = kind == DefinitionLine::DefineSubroutine;
        CHECK(open_function_definition(st, subroutine, line + definition_word_length(kind), buffer, position));
        // Kept for the 3723 report should the script end inside the body.
        lstrcpynA(st->offending_line, line, LINE_BUFFER_BYTES);
        return true;
    }
    case DefinitionLine::EndFunction:
    case DefinitionLine::EndSubroutine:
        return close_function_definition(st, kind == DefinitionLine::EndSubroutine, line, buffer, position);
    case DefinitionLine::None:
        break;
    }
    return true;
}

// A report made outside the statement driver still names its line: the
// report locates the statement's position in the statement's buffer.
void locate_report_line(EngineState* st, const char* line, const ScriptBuffer& buffer, uint32_t line_start) {
    st->statement_line = line;
    st->statement_buffer = buffer.handle;
    st->statement_buffer_length = buffer.length;
    st->statement_buffer_base = buffer.base;
    st->statement_position = line_start;
}

// A run that stops with a definition open reports the definition's error:
// the one a definition line raised or a body line that was too long (both
// at the line last read), or 3723 at the definition line.
void report_open_definition(EngineState* st, const char* line, const ScriptBuffer& buffer, uint32_t line_start) {
    const bool at_line = st->error || st->pending_line_error;
    uint16_t error = st->error ? st->error
                     : st->pending_line_error ? st->pending_line_error
                                              : static_cast<uint16_t>(Err::DefineWithoutEnd);
    const char* text = at_line ? line : st->offending_line;
    locate_report_line(st, text, buffer, at_line ? line_start : st->definition_line_position);
    st->in_definition = 0;
    st->skipping_definition = 0;
    report_line_error(st, text, error);
}

// ------------------------------------------------------------------ host hooks

// The statement hook: the host learns which line is about to run ("3"
// inside a user-defined function), at its position in the original script.
bool statement_hook(EngineState* st, const ScriptBuffer& buffer, uint32_t line_start) {
    const char* text = st->current_function != NO_FUNCTION ? "3" : "2";
    const uint16_t scope = st->table.handle ? st->table.id : NO_SLOT;
    const StructureFrame* top = top_frame(st);
    return host_statement_hook(st, text, reinterpret_cast<uintptr_t>(buffer.handle),
                               line_start + buffer.base, scope, top ? top->state : 0);
}

// ------------------------------------------------------------------ one line

// The statement after a leading ":label", or -1 when nothing but a comment follows.
int statement_offset(const char* line) {
    if (line[0] != ':') return 0;
    const char* p = line + 1;
    while (*p && *p != ' ' && *p != '\t') ++p;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0' || *p == ';') return -1;
    return static_cast<int>(p - line);
}

void send_to_debugger(const char* line) {
    char text[LINE_BUFFER_BYTES + 16];
    snprintf(text, sizeof text, ">>>>>%s<<<<<\r\n", line);
    OutputDebugStringA(text);
}

// Unless the innermost frame is a Call or function frame marked returned,
// whose value travels back to the caller.
void release_statement_result(EngineState* st, Value* result) {
    const StructureFrame* top = top_frame(st);
    if (top && (top->type == FRAME_CALL || top->type == FRAME_FUNCTION) && top->variable) return;
    release_value(st, result);
}

// After a statement: pump, then stop on a user's cancel (194 unless the
// report is switched off or suppressed by IntControl 12).
int after_statement(EngineState* st, const char* line) {
    // Asking the window system for messages and key states costs some fifty
    // typical statements (each a round trip to the window server), so
    // between statements the pump runs once per PUMP_INTERVAL_MS: a busy
    // loop still sees its messages and Ctrl+Break at once to a user's eye.
    // (The system clock of many machines ticks only every 15.6 ms, which
    // spaces the passes about as far.)
    const DWORD now = GetTickCount();
    if (now - st->last_pump_tick >= PUMP_INTERVAL_MS) {
        st->last_pump_tick = now;
        if (st->exclusive)
            PumpMessagesFast(st);
        else
            PumpMessages(st);
    }
    if (!st->cancel_requested) return LINE_DONE;
    if (st->report_cancel && st->cancel_report && !st->suppress_reports) {
        report_line_error(st, line, static_cast<uint16_t>(Err::TerminatedByUser));
        st->report_cancel = 0;
    } else {
        raise(st, Err::TerminatedByUser);
    }
    return LINE_STOPPED;
}

int run_line(EngineState* st, Value* result, char* line, const ScriptBuffer& buffer,
             uint32_t line_start, uint32_t* position, const CachedLineRef& kept) {
    st->assign_table = NO_SLOT;
    st->assign_slot = NO_SLOT;
    if (line[0] == '\0' || line[0] == ';') return LINE_DONE;

    if (line[0] == '#' && !st->pending_line_error) {
        const DefinitionLine kind = definition_kind(line);
        if (kind != DefinitionLine::None) {
            if (kind == DefinitionLine::DefineFunction || kind == DefinitionLine::DefineSubroutine)
                st->definition_line_position = line_start;
            return DefineFunctionLine(st, kind, line, buffer, *position) ? LINE_DONE : LINE_DEFINITION;
        }
    }
    if (st->in_definition) return st->pending_line_error ? LINE_DEFINITION : LINE_DONE;

    bool no_jump_cache = false;
    // A line whose tokens are kept has no "%"; only a run-time #include is
    // left to rewrite.
    if (!st->pending_line_error && (!kept.entry || line[0] == '#')) {
        const SubstituteOutcome substituted = SubstituteLine(st, line);
        if (substituted == SUBSTITUTE_FAILED) {
            if (!region_skipped(st)) {
                // Reported against this line, not the statement that ran last.
                locate_report_line(st, line, buffer, line_start);
                report_line_error(st, line, st->error);
                return LINE_STOPPED;
            }
            st->error = 0;
        }
        no_jump_cache = substituted == SUBSTITUTE_CHANGED;
    }

    const int offset = statement_offset(line);
    if (offset < 0) return LINE_DONE;
    if (st->debug_output && !st->silent) send_to_debugger(line);

    st->current_line_position = line_start;
    st->current_line_function = st->current_function;
    st->current_buffer = buffer.handle;

    if ((st->hook_flags & HOOK_FLAG_STATEMENT) && !statement_hook(st, buffer, line_start))
        return LINE_STOPPED;

    int ran = offset == 0 && kept.entry ? run_kept_statement(st, result, line, buffer, line_start, position, kept)
                                        : KEPT_NOT_RUN;
    if (ran == KEPT_NOT_RUN)
        ran = RunStatement(st, result, line, static_cast<uint32_t>(offset), position, line_start, buffer,
                           no_jump_cache, kept);
    release_statement_result(st, result);
    if (ran != STATEMENT_DONE) return ran == STATEMENT_RETURNED ? LINE_RETURNED : LINE_STOPPED;
    return after_statement(st, line);
}

// Reads and runs every line to the end of the buffer or the first stop.
int run_lines(EngineState* st, Value* result, char* line, const ScriptBuffer& buffer,
              uint32_t* line_start, uint32_t* position) {
    const HeldScript held(st, buffer.handle);
    for (;;) {
        st->pending_line_error = 0;
        CachedLineRef kept;
        if (!held.text() || !read_kept_line(st, buffer, held.text(), line, line_start, position, &kept)) {
            const uint32_t from = *position;
            // The end of the buffer, or a buffer that could not be locked (reported).
            if (!ReadLine(st, line, LINE_BUFFER_BYTES, buffer, line_start, position, held.text()))
                return st->error ? LINE_STOPPED : LINE_DONE;
            if (held.text()) keep_line(st, buffer, held.text(), from, *line_start, *position, line, &kept);
        }
        const int outcome = run_line(st, result, line, buffer, *line_start, position, kept);
        if (outcome != LINE_DONE) return outcome;
    }
}

// The trace's end-of-run record (flagged when structures are still open)
// and the debugger's "END OF JOB", at the main-script level only: a Called
// script or a function body ends into its caller.
void note_normal_end(EngineState* st, int32_t entry_depth) {
    if (st->call_depth != 0 || st->function_nesting != 0) return;
    TraceRecord(st, TRACE_RECORD_END, st->structure_depth != entry_depth);
    if (debugging(st)) debugger_note_end(st);
}

}  // namespace

RunOutcome RunScript(EngineState* st, Value* result, const ScriptBuffer& buffer, uint32_t* line_start,
                     uint32_t* position) {
    const int32_t entry_depth = st->structure_depth;
    // A Call or a function body nests afresh: its depth is bounded by the
    // structure stack instead.
    const uint16_t expression_depth = st->expression_depth;
    st->expression_depth = 0;
    RunLine line(st);
    int outcome;
    if (!line.text()) {
        raise(st, Err::AllocFailed);
        outcome = LINE_STOPPED;
    } else {
        outcome = run_lines(st, result, line.text(), buffer, line_start, position);
        if (outcome == LINE_DEFINITION || (outcome == LINE_DONE && st->in_definition)) {
            report_open_definition(st, line.text(), buffer, *line_start);
            outcome = LINE_STOPPED;
        }
    }
    if (outcome == LINE_DONE) {
        note_normal_end(st, entry_depth);
        release_value(st, result);
    }
    st->last_run_error = st->error;
    st->last_run_result = outcome;
    st->last_statement_position = *line_start;
    st->current_buffer = buffer.handle;
    st->current_line_function = st->current_function;
    st->expression_depth = expression_depth;
    return static_cast<RunOutcome>(outcome);
}
