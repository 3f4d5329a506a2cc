// Switch (Select), Case and EndSwitch (EndSelect).
#include <math.h>

#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lang/structures.h"

namespace {

// Case values are truncated within the 32-bit range.
constexpr double INT_LIMIT = 2147483648.0;

// The switch value: an integer or a text that is one; floats are refused.
bool switch_integer(EngineState* st, ValuePayload* v, int32_t* out) {
    if (!(v->flags & VF_INT) && ((v->flags & VF_FLOAT) || !ToInteger(st, v, false)))
        return raise(st, Err::SwitchNotInteger);
    *out = v->integer;
    return true;
}

// A Case value: as the switch value, but a float is truncated (2.5 is 2).
bool case_integer(EngineState* st, ValuePayload* v, int32_t* out) {
    if (!(v->flags & VF_INT) && (v->flags & VF_FLOAT)) {
        if (!(fabs(v->real) < INT_LIMIT)) return raise(st, Err::SwitchNotInteger);
        *out = static_cast<int32_t>(v->real);
        return true;
    }
    return switch_integer(st, v, out);
}

// The 32-bit switch value is kept in two 16-bit halves of the frame.
int32_t switch_value(const StructureFrame& frame) {
    return static_cast<int32_t>((frame.resume_position << 16) | frame.variable);
}

bool evaluate_case(EngineState* st, int32_t* out) {
    Value v;
    init_value(&v);
    get_token(st);
    const bool ok = st->error == 0 && ProcessSubExpression(st, &v, 0, 0) && expect_statement_end(st) &&
                    case_integer(st, &v.v, out);
    release_value(st, &v);
    return ok;
}

}  // namespace

// Switch expression, Select expression: the value lands in the statement's
// result, where the trace shows it.
int run_switch(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_SWITCH;
    int32_t value = 0;
    if (!region_skipped(st)) {
        get_token(st);
        if (st->error || !ProcessSubExpression(st, c.result, 0, 0) || !expect_statement_end(st) ||
            !switch_integer(st, &c.result->v, &value))
            return 0;
    }
    StructureFrame frame = make_frame(c, FRAME_SWITCH, opening_state(st, false));
    frame.resume_position = static_cast<uint32_t>(value) >> 16;
    frame.variable = static_cast<uint16_t>(value & 0xFFFF);
    return push_loop_frame(st, frame) ? 1 : 0;
}

// Case expression: evaluated only while a case is still being looked for
// (or Continue resumed the search); a matched case runs on through the
// following Case lines.
int run_case(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_CASE;
    StructureFrame* top = top_frame(st);
    if (!top || top->type != FRAME_SWITCH) return raise(st, Err::CaseWithoutSwitch);
    st->last_condition = 0;
    if (top->state != FS_SKIP && top->state != FS_CONTINUE) return 1;
    int32_t value = 0;
    if (!evaluate_case(st, &value)) return 0;
    if (value == switch_value(*top)) {
        top->state = FS_RUN;
        st->last_condition = 1;
    }
    return 1;
}

// EndSwitch, EndSelect, End Switch, End Select.
int run_endswitch(StatementContext& c) {
    EngineState* st = c.st;
    if (!frame_to_close(st, FRAME_SWITCH, FRAME_SWITCH)) return 0;
    pop_restoring_in_loop(st);
    return 1;
}
