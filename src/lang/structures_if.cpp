// If, Else and EndIf, in their block and single-line forms.
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/lexer.h"
#include "lang/structures.h"

namespace {

// A skipped If still has to tell the block form from the single-line one:
// read on to Then, stepping over anything the lexer refuses.
void skip_to_then(EngineState* st) {
    for (;;) {
        get_token(st);
        if (st->error) {
            st->error = 0;
            st->lexer.read = st->lexer.token_start + 1;
            continue;
        }
        if (st->lexer.kind == TK_END || token_is(st, KW_THEN)) return;
    }
}

// Runs the statement after Then or Else; the line stays a single-line
// If/Else for the trace whatever that statement was.
int run_single_line_branch(StatementContext& c, bool taken, const char* rest) {
    EngineState* st = c.st;
    st->statement_kind = SK_SINGLE_IF;
    st->last_condition = taken;
    if (!taken) return 1;
    const int outcome = execute_text(c, rest);
    st->statement_kind = SK_SINGLE_IF;
    st->last_condition = 1;
    return outcome;
}

}  // namespace

int open_block_if(StatementContext& c, bool skipped, bool truth) {
    EngineState* st = c.st;
    if (!skipped && st->last_if == LAST_IF_NONE) return raise(st, Err::NoIfForThenElse);
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_BLOCK_IF;
    st->last_condition = truth;
    return push_frame(st, make_frame(c, FRAME_IF, opening_state(st, truth))) ? 1 : 0;
}

int run_block_else(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_BLOCK_ELSE;
    StructureFrame* top = top_frame(st);
    if (!top) return raise(st, Err::EndWithoutMatch);
    if (top->type != FRAME_IF) return raise(st, Err::ElseWithoutIf);
    // Skip-nested, break and continue states survive the Else.
    if (top->state == FS_RUN || top->state == FS_SKIP) top->state ^= FS_SKIP;
    top->type = FRAME_ELSE;
    st->last_condition = top->state == FS_RUN;
    return 1;
}

// If condition [Then [statement]]
int run_if(StatementContext& c) {
    EngineState* st = c.st;
    const bool skipped = region_skipped(st);
    bool truth = false;
    if (skipped) {
        skip_to_then(st);
    } else {
        get_token(st);
        if (st->error || !evaluate_condition(st, &truth)) return 0;
        if (!token_is(st, KW_THEN) && st->lexer.kind != TK_END)
            return raise_hint(st, Err::ThenNotFound, Err::HintExtraPunctuation);
        st->last_if = truth ? 1 : 0;
    }
    const char* rest = skip_line_blanks(st->lexer.read);
    if (ends_statement(*rest)) return open_block_if(c, skipped, truth);
    return run_single_line_branch(c, truth && !skipped, rest);
}

// Else [statement]
int run_else(StatementContext& c) {
    EngineState* st = c.st;
    const char* rest = skip_line_blanks(st->lexer.read);
    if (ends_statement(*rest)) return run_block_else(c);
    if (region_skipped(st)) {
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    if (st->last_if == LAST_IF_NONE) return raise(st, Err::NoIfForThenElse);
    return run_single_line_branch(c, st->last_if == 0, rest);
}

// EndIf, End If: a Break or Continue requested inside the block travels
// out to the frame below.
int run_endif(StatementContext& c) {
    EngineState* st = c.st;
    StructureFrame* top = frame_to_close(st, FRAME_IF, FRAME_ELSE);
    if (!top) return 0;
    const uint8_t requests = top->state & (FS_CONTINUE | FS_BREAK);
    --st->structure_depth;
    if (!requests) return 1;
    if (StructureFrame* below = top_frame(st)) {
        below->state |= requests;
    } else {
        // Reported, yet the line counts as done.
        raise(st, Err::BreakContinueNotInLoop);
    }
    return 1;
}
