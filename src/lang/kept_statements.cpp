// Working out a kept line's form from its tokens, and running the forms
// with the general handlers' effects.
#include "lang/kept_statements.h"

#include <string.h>

#include "base/engine_state.h"
#include "base/stack_guard.h"
#include "lang/charclass.h"
#include "lang/debugger.h"
#include "lang/error_driver.h"
#include "lang/evaluator.h"
#include "lang/fpfault.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/structures.h"
#include "lang/token_cache_entry.h"
#include "lang/trace.h"
#include "lang/variables.h"

namespace {

enum KeptKind : uint8_t {
    KEPT_UNKNOWN,   // not worked out yet
    KEPT_GENERAL,   // always the general driver
    KEPT_PLAIN,     // a plain statement: passed over here when skipped
    KEPT_ASSIGN,    // name = integer expression
    KEPT_APPEND,    // name = name : "text"
    KEPT_WHILE,     // While with its condition, if it compiled
    KEPT_IF,        // block If with its condition
    KEPT_ELSE,      // block Else
    KEPT_ENDIF,
    KEPT_ENDWHILE,
    KEPT_TO,        // a For's "to end [by step]", where Next resumes
    KEPT_NEXT,
    KEPT_RETURN,    // Return with an integer expression
};

uint8_t place_of(const CachedLine& e, const CompiledExpression* x) {
    return x ? static_cast<uint8_t>(x - e.expressions) : NO_KEPT_EXPRESSION;
}

// The compiled condition after the keyword (token 0), when the statement
// ends right after it; block If also allows "Then" with nothing after it.
uint8_t condition_place(EngineState* st, CachedLine& e, bool then_allowed) {
    if (e.token_count < 3 || !kept_tokens_adjacent(e, 0)) return NO_KEPT_EXPRESSION;
    const CompiledExpression* x = compiled_expression(st, e, 1);
    if (!x) return NO_KEPT_EXPRESSION;
    const CachedToken& after = e.tokens[x->end];
    if (after.kind == TK_END) return place_of(e, x);
    const bool then_ends = then_allowed && after.kind == TK_KEYWORD && after.id == KW_THEN &&
                           ends_statement(*skip_line_blanks(e.line + after.end));
    return then_ends ? place_of(e, x) : NO_KEPT_EXPRESSION;
}

// "to end [by step]": both compiled, the statement ending after them.
KeptForm to_form(EngineState* st, CachedLine& e) {
    KeptForm general{KEPT_GENERAL, 0, NO_KEPT_EXPRESSION, NO_KEPT_EXPRESSION};
    if (e.token_count < 3 || !kept_tokens_adjacent(e, 0)) return general;
    const CompiledExpression* end = compiled_expression(st, e, 1);
    if (!end) return general;
    const CachedToken& after = e.tokens[end->end];
    if (after.kind == TK_END) return {KEPT_TO, 0, place_of(e, end), NO_KEPT_EXPRESSION};
    if (after.kind != TK_KEYWORD || after.id != KWID_BY || end->end + 2u >= e.token_count ||
        !kept_tokens_adjacent(e, end->end))
        return general;
    const CompiledExpression* step = compiled_expression(st, e, static_cast<uint16_t>(end->end + 1));
    if (!step || e.tokens[step->end].kind != TK_END) return general;
    return {KEPT_TO, 0, place_of(e, end), place_of(e, step)};
}

// The expression of "name = expression" when it compiles and ends the line.
uint8_t assignment_place(EngineState* st, CachedLine& e) {
    if (e.tokens[0].kind != TK_NAME || e.token_count < 4 || !kept_tokens_adjacent(e, 0)) return NO_KEPT_EXPRESSION;
    const CachedToken& equals = e.tokens[1];
    if (equals.kind != TK_KEYWORD || equals.id != KWID_ASSIGN || !kept_tokens_adjacent(e, 1))
        return NO_KEPT_EXPRESSION;
    const CompiledExpression* x = compiled_expression(st, e, 2);
    return x && e.tokens[x->end].kind == TK_END ? place_of(e, x) : NO_KEPT_EXPRESSION;
}

KeptForm plain_form(uint8_t kind, uint8_t expression = NO_KEPT_EXPRESSION) {
    return {kind, 0, expression, NO_KEPT_EXPRESSION};
}

// "name = name : "text"", every token next to the one before it.
bool is_text_append(const CachedLine& e) {
    if (e.token_count < 6) return false;
    for (uint16_t i = 0; i < 5; ++i)
        if (!kept_tokens_adjacent(e, i)) return false;
    const CachedToken* t = e.tokens;
    return t[0].kind == TK_NAME && t[1].kind == TK_KEYWORD && t[1].id == KWID_ASSIGN && t[2].kind == TK_NAME &&
           t[2].text_length == t[0].text_length &&
           memcmp(e.text + t[2].text_at, e.text + t[0].text_at, t[0].text_length) == 0 &&
           t[3].kind == TK_KEYWORD && t[3].id == KWID_CONCAT && t[4].kind == TK_STRING && t[5].kind == TK_END;
}

KeptForm structure_form(EngineState* st, CachedLine& e) {
    const CachedToken& first = e.tokens[0];
    switch (first.id) {
    case KW_WHILE: return plain_form(KEPT_WHILE, condition_place(st, e, false));
    case KW_IF: {
        const uint8_t place = condition_place(st, e, true);
        return plain_form(place == NO_KEPT_EXPRESSION ? KEPT_GENERAL : KEPT_IF, place);
    }
    case KW_ELSE:
        // Else with a statement after it is the single-line form.
        if (ends_statement(*skip_line_blanks(e.line + first.end))) return plain_form(KEPT_ELSE);
        break;
    case KW_ENDIF: return plain_form(KEPT_ENDIF);
    case KW_ENDWHILE: return plain_form(KEPT_ENDWHILE);
    case KW_TO: return to_form(st, e);
    case KW_NEXT:
    case KW_ENDFOR: return plain_form(KEPT_NEXT);
    case KW_RETURN: {
        // A variable alone is returned with the place it was read from;
        // that copy is the general parse's to make.
        const uint8_t place = condition_place(st, e, false);
        const bool computed = place != NO_KEPT_EXPRESSION && !compiled_lone_variable(e.expressions[place]);
        return plain_form(computed ? KEPT_RETURN : KEPT_PLAIN, computed ? place : NO_KEPT_EXPRESSION);
    }
    default: break;
    }
    return plain_form(KEPT_GENERAL);
}

// Worked out again whenever the line has kept more tokens: a line first
// met in a skipped region has kept only its first word.
void work_out_form(EngineState* st, CachedLine& e) {
    KeptForm form = plain_form(KEPT_GENERAL);
    const CachedToken& first = e.tokens[0];
    // A statement that starts the line with a word or number: not a
    // pointer's "*", a run-time "#" line, nor a resolved jump.
    if (e.token_count > 0 && first.begin == 0 && is_word_char(static_cast<uint8_t>(e.line[0])) &&
        first.kind != TK_END) {
        if (first.kind == TK_KEYWORD && keyword_type(st, first.id) == KT_STRUCTURE) {
            form = structure_form(st, e);
        } else {
            const uint8_t place = assignment_place(st, e);
            form = plain_form(place == NO_KEPT_EXPRESSION ? KEPT_PLAIN : KEPT_ASSIGN, place);
            if (is_text_append(e)) form = plain_form(KEPT_APPEND);
        }
    }
    form.tried_tokens = static_cast<uint8_t>(e.token_count);
    e.form = form;
}

// A compiled expression of the line, evaluated; false where the general parse must run.
bool kept_value(EngineState* st, const CachedLine& e, uint8_t place, int32_t* value) {
    return place != NO_KEPT_EXPRESSION && kept_integer(st, e, e.expressions[place], value);
}

// The statement's start, noted as the driver notes it.
void note_start(const StatementContext& c) {
    begin_statement(c.st, c.result, c.line, *c.buffer, c.line_position);
}

// Whether the frame stack lets the form run without an error.
bool frames_allow(EngineState* st, uint8_t kind) {
    const StructureFrame* top = top_frame(st);
    switch (kind) {
    case KEPT_PLAIN:
    case KEPT_ASSIGN:
    case KEPT_APPEND: return true;
    case KEPT_WHILE:
    case KEPT_IF: return st->structure_depth < STRUCTURE_FRAMES;
    case KEPT_ELSE: return top && top->type == FRAME_IF;
    case KEPT_ENDIF:
        // A Break or Continue carried out of the outermost block is an error.
        return top && (top->type == FRAME_IF || top->type == FRAME_ELSE) &&
               (!(top->state & (FS_CONTINUE | FS_BREAK)) || st->structure_depth > 1);
    case KEPT_ENDWHILE: return top && top->type == FRAME_WHILE;
    case KEPT_TO: return top && top->type == FRAME_FOR;
    case KEPT_NEXT: return top && (top->type == FRAME_FOR || top->type == FRAME_FOREACH);
    case KEPT_RETURN: return !return_ends_gosub(st);
    default: break;
    }
    return false;
}

// The variable a kept name token still names.
bool names_variable(EngineState* st, const CachedLine& e, const CachedToken& name) {
    return name.slot != 0 && name.slot != NO_SLOT &&
           slot_holds_name(st, name.slot, e.text + name.text_at, name.text_length);
}

// The text append, grown in place.
bool run_append(const StatementContext& c) {
    EngineState* st = c.st;
    const CachedLine& e = *c.cached.entry;
    const CachedToken& name = e.tokens[0];
    const CachedToken& text = e.tokens[4];
    if (!names_variable(st, e, name) || e.tokens[2].slot != name.slot ||
        !append_text_statement(st, name.slot, e.text + text.text_at, text.text_length))
        return false;
    note_start(c);
    st->statement_kind = SK_PLAIN;
    return true;
}

// The integer assignment, when its target is still the name's variable
// and its value an integer.
bool run_assignment(const StatementContext& c) {
    EngineState* st = c.st;
    const CachedLine& e = *c.cached.entry;
    const CachedToken& name = e.tokens[0];
    if (!names_variable(st, e, name)) return false;
    int32_t value;
    if (!kept_value(st, e, e.form.expression, &value)) return false;
    note_start(c);
    st->statement_kind = SK_PLAIN;
    assign_integer_statement(st, name.slot, value, c.result);
    return true;
}

// A condition evaluated now, unless the region is skipped (then false, as
// the general handlers leave it).
bool condition(EngineState* st, const CachedLine& e, bool skipped, bool* truth) {
    *truth = false;
    if (skipped) return true;
    int32_t value;
    if (!kept_value(st, e, e.form.expression, &value)) return false;
    *truth = value != 0;
    return true;
}

// The counter stepped and tested against the end, as the general "to"
// clause does it with integers, when the counter, end and step all are.
bool step_counter(const StatementContext& c) {
    EngineState* st = c.st;
    const CachedLine& e = *c.cached.entry;
    StructureFrame* frame = top_frame(st);
    ValuePayload& counter = slot_at(st, frame->variable)->v;
    int32_t end, step = 1;
    if (counter.flags != VF_INT || !kept_value(st, e, e.form.expression, &end)) return false;
    if (e.form.step != NO_KEPT_EXPRESSION && !kept_value(st, e, e.form.step, &step)) return false;
    int32_t next;
    (void)IntegerArithmetic(KWID_PLUS, counter.integer, step, &next);
    g_pending_fp_error = 0;
    bool runs;
    (void)IntegerComparison(step < 0 ? KWID_GREATER_EQUAL : KWID_LESS_EQUAL, next, end, &runs);
    note_start(c);
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_FOR;
    SetInteger(&counter, RK_SLOT, 0, next);
    frame->state = runs ? FS_RUN : FS_SKIP;
    st->last_condition = runs;
    return true;
}

// A kept form's run as the general driver's outcome, or KEPT_NOT_RUN.
int ran(bool done) { return done ? STATEMENT_DONE : KEPT_NOT_RUN; }

// Return with an integer value, out of the function or Call level.
int return_value(StatementContext& c) {
    EngineState* st = c.st;
    int32_t value;
    if (!kept_value(st, *c.cached.entry, c.cached.entry->form.expression, &value)) return KEPT_NOT_RUN;
    note_start(c);
    st->statement_kind = SK_JUMP;
    st->last_if = LAST_IF_NONE;
    SetInteger(&c.result->v, RK_VALUE, 0, value);
    return return_to_caller(c, true);
}

int run_form(StatementContext& c, uint8_t kind) {
    EngineState* st = c.st;
    const CachedLine& e = *c.cached.entry;
    if (!frames_allow(st, kind)) return KEPT_NOT_RUN;
    const bool skipped = region_skipped(st);
    bool truth;
    switch (kind) {
    case KEPT_PLAIN:
    case KEPT_ASSIGN:
    case KEPT_APPEND:
    case KEPT_RETURN:
        if (!skipped) {
            if (kind == KEPT_ASSIGN) return ran(run_assignment(c));
            if (kind == KEPT_APPEND) return ran(run_append(c));
            return kind == KEPT_RETURN ? return_value(c) : KEPT_NOT_RUN;
        }
        note_start(c);
        st->statement_kind = SK_SKIPPED;
        return STATEMENT_DONE;
    case KEPT_WHILE:
        if (!condition(st, e, skipped, &truth)) return KEPT_NOT_RUN;
        note_start(c);
        st->last_if = LAST_IF_NONE;
        st->statement_kind = SK_WHILE;
        return open_while(c, truth);
    case KEPT_IF:
        if (!condition(st, e, skipped, &truth)) return KEPT_NOT_RUN;
        note_start(c);
        if (!skipped) st->last_if = truth ? 1 : 0;
        return open_block_if(c, skipped, truth);
    case KEPT_TO: return ran(step_counter(c));
    default: break;
    }
    note_start(c);
    if (kind == KEPT_ELSE) return run_block_else(c);
    if (kind == KEPT_ENDIF) return run_endif(c);
    if (kind == KEPT_NEXT) return run_next(c);
    return run_endwhile(c);
}

}  // namespace

int run_kept_statement(EngineState* st, Value* result, const char* line, const ScriptBuffer& buffer,
                       uint32_t line_start, uint32_t* position, const CachedLineRef& kept) {
    CachedLine& e = *kept.entry;
    if (e.stamp != kept.stamp) return KEPT_NOT_RUN;
    if (e.form.tried_tokens != e.token_count || e.form.kind == KEPT_UNKNOWN) work_out_form(st, e);
    const uint8_t kind = e.form.kind;
    if (kind == KEPT_GENERAL) return KEPT_NOT_RUN;
    // The trace and the debugger see every statement in the general driver;
    // a pending line error and the nesting limits are its to report.
    if (tracing(st) || debugging(st) || st->pending_line_error || st->expression_depth >= NESTING_MAX ||
        !stack_has_room(st))
        return KEPT_NOT_RUN;
    StatementContext c{st, result, line, line, position, line_start, &buffer, false, kept};
    const int outcome = run_form(c, kind);
    if (outcome != KEPT_NOT_RUN) st->trace_error = 0;
    return outcome;
}
