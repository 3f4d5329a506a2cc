// While/EndWhile, For with its "to" clause, Next (also for ForEach), Break
// and Continue.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/script_buffer.h"
#include "lang/charclass.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/structures.h"
#include "lang/variables.h"

namespace {

void set_float(Value* v, double x) {
    init_value(v);
    v->v.flags = VF_FLOAT;
    v->v.real = x;
}

// Leaves `v` a plain integer or float: numbers as they are, a text as an
// integer or else a float; anything else raises 3361.
bool take_number(EngineState* st, Value* v) {
    ValuePayload& p = v->v;
    if (!(p.flags & (VF_INT | VF_FLOAT)) && !ToInteger(st, &p, false) && !ToFloat(st, &p))
        return raise(st, Err::ForCounterNotNumber);
    if (p.flags & VF_INT) {
        const int32_t i = p.integer;
        release_value(st, v);
        v->v.integer = i;
    } else {
        const double x = p.real;
        release_value(st, v);
        set_float(v, x);
    }
    return true;
}

// One For operand: the expression at the current token, as a number.
bool evaluate_number(EngineState* st, Value* v) {
    return ProcessSubExpression(st, v, 0, 0) && take_number(st, v);
}

bool read_counter(EngineState* st, uint16_t slot, Value* out) {
    const ValuePayload& p = slot_at(st, slot)->v;
    init_value(out);
    if (p.flags & VF_INT) {
        out->v.integer = p.integer;
        return true;
    }
    if (p.flags & VF_FLOAT) {
        set_float(out, p.real);
        return true;
    }
    // A counter the body turned into text: convert a copy.
    if (!CopyValue(st, &p, &out->v, slot, copy_mode(RK_SLOT, RK_VALUE) | VM_DUP_TEXT | VM_DUP_VARIANT)) {
        release_value(st, out);
        return raise(st, Err::ForCounterNotNumber);
    }
    return take_number(st, out);
}

void store_counter(EngineState* st, uint16_t slot, const Value& number) {
    ValuePayload& p = slot_at(st, slot)->v;
    ReleaseValue(st, &p, RK_SLOT, 0);
    SetInteger(&p, RK_SLOT, 0, number.v.integer);
    if (number.v.flags & VF_FLOAT) {
        p.flags = VF_FLOAT;
        p.real = number.v.real;
    }
}

bool is_negative(const Value& v) {
    return (v.v.flags & VF_INT) ? v.v.integer < 0 : v.v.real < 0;
}

// [by step] and the end of the statement; the step is 1 without "by".
bool read_step(EngineState* st, Value* step) {
    init_value(step);
    if (!token_is(st, KWID_BY)) {
        step->v.integer = 1;
        return expect_statement_end(st);
    }
    get_token(st);
    return st->error == 0 && evaluate_number(st, step) && expect_statement_end(st);
}

// The counter after this pass (stepped unless `first`) compared with the end.
bool test_counter(EngineState* st, StructureFrame* frame, bool first, bool* runs) {
    Value end, counter, step;
    init_value(&end);
    init_value(&counter);
    init_value(&step);
    bool ok = evaluate_number(st, &end) && read_counter(st, frame->variable, &counter) && read_step(st, &step);
    if (ok && !first) {
        ok = ApplyArithmetic(st, KWID_PLUS, &counter, &step);
        if (ok) store_counter(st, frame->variable, counter);
    }
    if (ok) {
        Value probe = counter;
        const uint16_t op = is_negative(step) ? KWID_GREATER_EQUAL : KWID_LESS_EQUAL;
        ok = ApplyComparison(st, op, &probe, &end);
        *runs = ok && probe.v.integer != 0;
    }
    release_value(st, &end);
    release_value(st, &counter);
    release_value(st, &step);
    return ok;
}

// The first word "to" of a line as written, outside quoted text and
// %name% references; null when there is none.
const char* written_to_word(const char* line) {
    const char* p = line;
    while (*p) {
        const uint8_t c = static_cast<uint8_t>(*p);
        if (c == '"' || c == '\'' || c == '`') {
            const char* close = strchr(p + 1, c);
            if (!close) return nullptr;
            p = close + 1;
        } else if (c == '%') {
            const char* close = strchr(p + 1, '%');
            if (!close) return nullptr;
            p = close + 1;
        } else if (is_word_char(c)) {
            const char* word = p;
            while (is_word_char(static_cast<uint8_t>(*p))) ++p;
            if (p - word == 2 && char_lower(word[0]) == 't' && char_lower(word[1]) == 'o') return word;
        } else {
            ++p;
        }
    }
    return nullptr;
}

// Where Next resumes: the buffer position of "to". A line changed by
// %substitution% no longer matches the buffer, so its "to" is looked up
// in the line as written; Next substitutes the rest of it again.
__attribute__((noinline)) uint32_t to_position(const StatementContext& c, const char* to) {
    if (!c.no_jump_cache || !c.buffer) return position_of(c, to);
    char written[LINE_BUFFER_BYTES];
    uint32_t start = 0, position = c.line_position;
    if (!ReadLine(c.st, written, sizeof written, *c.buffer, &start, &position)) return position_of(c, to);
    const char* word = written_to_word(written);
    return word ? start + static_cast<uint32_t>(word - written) : position_of(c, to);
}

// "to end [by step]", the current token being "to": from For itself, or
// as the line that Next jumps back to.
int run_to_clause(StatementContext& c, StructureFrame* frame, bool first) {
    EngineState* st = c.st;
    st->statement_kind = SK_FOR;
    get_token(st);
    bool runs = false;
    if (st->error || !test_counter(st, frame, first, &runs)) return 0;
    frame->state = runs ? FS_RUN : FS_SKIP;
    st->last_condition = runs;
    return 1;
}

// Break and Continue: a request on the top frame, which the enclosing
// EndIfs carry out to the loop.
int request_on_top(StatementContext& c, uint8_t request, Err outside, StatementKind kind) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = kind;
    if (!st->in_loop) return raise(st, outside);
    StructureFrame* top = top_frame(st);
    st->last_condition = !region_skipped(st) && top;
    if (st->last_condition) top->state = request;
    return 1;
}

}  // namespace

// While condition
int run_while(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_WHILE;
    bool truth = false;
    if (!region_skipped(st)) {
        get_token(st);
        if (st->error || !evaluate_condition(st, &truth) || !expect_statement_end(st)) return 0;
    }
    return open_while(c, truth);
}

int open_while(StatementContext& c, bool truth) {
    EngineState* st = c.st;
    st->last_condition = truth;
    StructureFrame frame = make_frame(c, FRAME_WHILE, opening_state(st, truth));
    frame.resume_position = c.line_position;
    return push_loop_frame(st, frame) ? 1 : 0;
}

// EndWhile, End While: a running or continued loop reads its While line
// again, which pushes a fresh frame.
int run_endwhile(StatementContext& c) {
    EngineState* st = c.st;
    StructureFrame* top = frame_to_close(st, FRAME_WHILE, FRAME_WHILE);
    if (!top) return 0;
    if (top->state == FS_RUN || top->state == FS_CONTINUE) *c.next_position = top->resume_position;
    pop_restoring_in_loop(st);
    return 1;
}

// For variable = start to end [by step]
int run_for(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_FOR;
    if (region_skipped(st)) return push_loop_frame(st, make_frame(c, FRAME_FOR, FS_SKIP_NESTED)) ? 1 : 0;
    get_token(st);
    if (st->lexer.kind != TK_NAME) return raise(st, Err::ForBadSyntax);
    const uint16_t variable = st->lexer.slot;
    get_token(st);
    if (!token_is(st, KWID_ASSIGN)) return raise(st, Err::ForBadSyntax);
    get_token(st);
    Value start;
    init_value(&start);
    if (st->error || !evaluate_number(st, &start)) return 0;
    store_counter(st, variable, start);
    if (!token_is(st, KW_TO)) return raise(st, Err::ForBadSyntax);
    StructureFrame frame = make_frame(c, FRAME_FOR, FS_RUN);
    frame.resume_position = to_position(c, st->lexer.token_start);
    frame.variable = variable;
    if (!push_loop_frame(st, frame)) return 0;
    return run_to_clause(c, top_frame(st), true);
}

// "to ..." standing first: the line Next jumped back to.
int run_to(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    StructureFrame* top = top_frame(st);
    if (!top || top->type != FRAME_FOR) return raise(st, Err::MisplacedTo);
    return run_to_clause(c, top, false);
}

// Next, EndFor, End For: a running or continued loop goes back to its "to"
// clause (For) or its line (ForEach) and keeps its frame.
int run_next(StatementContext& c) {
    EngineState* st = c.st;
    StructureFrame* top = frame_to_close(st, FRAME_FOR, FRAME_FOREACH);
    if (!top) return 0;
    if (top->state == FS_RUN || top->state == FS_CONTINUE) {
        *c.next_position = top->resume_position;
        top->state = FS_RUN;
        return 1;
    }
    if (top->type == FRAME_FOREACH) drop_collection(st, top);
    pop_restoring_in_loop(st);
    return 1;
}

int run_break(StatementContext& c) {
    return request_on_top(c, FS_BREAK, Err::BreakOutsideStructure, SK_BREAK);
}

int run_continue(StatementContext& c) {
    return request_on_top(c, FS_CONTINUE, Err::ContinueOutsideStructure, SK_CONTINUE);
}
