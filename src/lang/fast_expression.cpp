// Compiling a kept line's integer expressions to postfix steps, and running
// them with the general parse's results and its lexer position.
#include "lang/fast_expression.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/stack_guard.h"
#include "lang/evaluator.h"
#include "lang/fpfault.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/numtext.h"
#include "lang/token_cache_entry.h"
#include "lang/variables.h"

namespace {

enum FastOp : uint8_t { FOP_VARIABLE, FOP_LITERAL, FOP_BINARY };
enum FastState : uint8_t { FS_FREE, FS_COMPILED, FS_REFUSED };

// The general parse needs a few hundred bytes of stack for each level of an
// expression this size; the fast one leaves it to the general parse whenever
// the stack is anywhere near its floor, so that the same error comes out.
constexpr uintptr_t STACK_MARGIN = 64 * 1024;

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The kept tokens a and a + 1 follow each other in the line, with nothing
// but blanks between them.
bool adjacent(const CachedLine& e, uint16_t a) {
    uint16_t p = e.tokens[a].end;
    while (p < e.length && is_blank(e.line[p])) ++p;
    return e.tokens[a + 1].begin == p;
}

// Operators whose integer results are IntegerArithmetic's or
// IntegerComparison's; text joining and powers take the general parse.
bool integer_operator(uint16_t id) { return BinaryLevel(id) != 0 && id != KWID_CONCAT && id != KWID_POWER; }

bool integer_constant(EngineState* st, uint16_t id, int32_t* value) {
    if (id >= KEYWORD_COUNT || keyword_type(st, id) != KT_CONSTANT) return false;
    const uint32_t v = keyword_value(st, id);
    if (is_float_constant(v) || is_string_constant(v)) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

enum class Compiled { Done, Refused, Incomplete };

// Shunting-yard over the kept tokens, every level left-associative as in
// the general parse. Only expressions that the general parse would read to
// the same end without an error are compiled.
class Compiler {
public:
    Compiler(EngineState* st, const CachedLine& e, CompiledExpression* x) : st_(st), e_(e), x_(x) {}

    Compiled run(uint16_t first) {
        x_->first = first;
        x_->step_count = 0;
        x_->binary = 0;
        x_->last_keyword = NO_TOKEN;
        x_->last_name = NO_TOKEN;
        bool want_operand = true;
        for (uint16_t i = first;; ++i) {
            if (i >= e_.token_count || (i > first && !adjacent(e_, i - 1))) return Compiled::Incomplete;
            const CachedToken& t = e_.tokens[i];
            Compiled outcome = Compiled::Done;
            bool ended = false;
            if (want_operand)
                outcome = operand(t, i, &want_operand);
            else
                outcome = after_operand(t, &want_operand, &ended);
            if (outcome != Compiled::Done) return outcome;
            if (ended) return finish(i);
        }
    }

private:
    bool emit(uint8_t op, uint16_t arg, int32_t value) {
        if (x_->step_count == FAST_STEPS_MAX) return false;
        x_->steps[x_->step_count++] = FastStep{value, arg, op};
        return true;
    }

    Compiled operand(const CachedToken& t, uint16_t index, bool* want_operand) {
        int32_t value = 0;
        bool ok;
        if (t.kind == TK_NAME) {
            ok = emit(FOP_VARIABLE, index, 0);
            x_->last_name = index;
        } else if (t.kind == TK_INT) {
            ok = emit(FOP_LITERAL, 0, TextToInt(e_.text + t.text_at));
        } else if (t.kind == TK_KEYWORD && t.id == KWID_OPEN) {
            x_->last_keyword = t.id;
            return push(t.id) ? (++depth_, Compiled::Done) : Compiled::Refused;
        } else if (t.kind == TK_KEYWORD && integer_constant(st_, t.id, &value)) {
            ok = emit(FOP_LITERAL, 0, value);
            x_->last_keyword = t.id;
        } else {
            return Compiled::Refused;
        }
        *want_operand = false;
        return ok ? Compiled::Done : Compiled::Refused;
    }

    Compiled after_operand(const CachedToken& t, bool* want_operand, bool* ended) {
        if (t.kind == TK_KEYWORD) {
            if (integer_operator(t.id)) {
                const uint8_t level = BinaryLevel(t.id);
                while (pending_count_ > 0 && pending_[pending_count_ - 1] != KWID_OPEN &&
                       BinaryLevel(pending_[pending_count_ - 1]) >= level) {
                    if (!emit(FOP_BINARY, pending_[--pending_count_], 0)) return Compiled::Refused;
                }
                x_->last_keyword = t.id;
                x_->binary = 1;
                *want_operand = true;
                return push(t.id) ? Compiled::Done : Compiled::Refused;
            }
            if (t.id == KWID_CLOSE && depth_ > 0) {
                while (pending_[pending_count_ - 1] != KWID_OPEN) {
                    if (!emit(FOP_BINARY, pending_[--pending_count_], 0)) return Compiled::Refused;
                }
                --pending_count_;
                --depth_;
                x_->last_keyword = t.id;
                return Compiled::Done;
            }
            // A subscript, a call, an assignment or an operator of texts.
            if (t.id == KWID_OPEN_BRACKET || t.id == KWID_OPEN || t.id == KWID_ASSIGN || BinaryLevel(t.id))
                return Compiled::Refused;
        }
        // Anything else ends the expression where the general parse ends it.
        if (depth_ > 0) return Compiled::Refused;
        *ended = true;
        return Compiled::Done;
    }

    bool push(uint16_t id) {
        if (pending_count_ == FAST_STEPS_MAX) return false;
        pending_[pending_count_++] = id;
        return true;
    }

    Compiled finish(uint16_t end) {
        while (pending_count_ > 0) {
            if (!emit(FOP_BINARY, pending_[--pending_count_], 0)) return Compiled::Refused;
        }
        x_->end = end;
        x_->token_count = static_cast<uint8_t>(end - x_->first);
        x_->state = FS_COMPILED;
        return Compiled::Done;
    }

    EngineState* st_;
    const CachedLine& e_;
    CompiledExpression* x_;
    uint16_t pending_[FAST_STEPS_MAX];
    int pending_count_ = 0;
    int depth_ = 0;
};

// The compiled expression that begins at token `first`, compiling it when
// its tokens are all kept; null when it cannot be compiled (yet).
const CompiledExpression* compiled_at(EngineState* st, CachedLine& e, uint16_t first) {
    CompiledExpression* free_place = nullptr;
    for (CompiledExpression& x : e.expressions) {
        if (x.first == first) return x.state == FS_COMPILED ? &x : nullptr;
        if (x.first == NO_TOKEN && !free_place) free_place = &x;
    }
    if (!free_place) return nullptr;
    CompiledExpression candidate;
    candidate.state = FS_FREE;
    switch (Compiler(st, e, &candidate).run(first)) {
    case Compiled::Done: *free_place = candidate; return free_place;
    case Compiled::Refused:
        free_place->first = first;
        free_place->state = FS_REFUSED;
        return nullptr;
    case Compiled::Incomplete: break;
    }
    return nullptr;
}

// The variable of a step, when it still holds a plain integer.
const ValuePayload* integer_variable(EngineState* st, const CachedLine& e, uint16_t token) {
    const CachedToken& t = e.tokens[token];
    if (!slot_holds_name(st, t.slot, e.text + t.text_at, t.text_length)) return nullptr;
    const ValuePayload* v = &slot_at(st, t.slot)->v;
    return v->flags == VF_INT ? v : nullptr;
}

bool run_steps(EngineState* st, const CachedLine& e, const CompiledExpression& x, int32_t* value) {
    int32_t stack[FAST_STEPS_MAX];
    int top = 0;
    for (int i = 0; i < x.step_count; ++i) {
        const FastStep& s = x.steps[i];
        switch (s.op) {
        case FOP_VARIABLE: {
            const ValuePayload* v = integer_variable(st, e, s.arg);
            if (!v) return false;
            stack[top++] = v->integer;
            break;
        }
        case FOP_LITERAL: stack[top++] = s.value; break;
        default: {
            const int32_t b = stack[--top];
            const int32_t a = stack[top - 1];
            bool holds;
            if (IntegerComparison(s.arg, a, b, &holds)) {
                stack[top - 1] = holds ? 1 : 0;
            } else if (IntegerArithmetic(s.arg, a, b, &stack[top - 1]) != Err::None) {
                return false;  // the general parse raises the error
            }
            break;
        }
        }
    }
    *value = stack[0];
    return true;
}

// A name's variable holds a plain integer or text: reading it runs nothing.
bool plain_variable(EngineState* st, const CachedLine& e, const CachedToken& t) {
    if (!slot_holds_name(st, t.slot, e.text + t.text_at, t.text_length)) return false;
    const uint32_t flags = slot_at(st, t.slot)->v.flags;
    return flags == VF_INT || flags == VF_STRING;
}

// Leaves the lexer as the general parse would after the expression's last
// token, then reads the token after it.
void resume_after(EngineState* st, const CachedLine& e, const CompiledExpression& x) {
    LexerState& lx = st->lexer;
    const CachedToken& last = e.tokens[x.end - 1];
    lx.kind = last.kind;
    if (x.last_keyword != NO_TOKEN) lx.id = x.last_keyword;
    if (x.last_name != NO_TOKEN) {
        const CachedToken& name = e.tokens[x.last_name];
        lx.slot = name.slot;
        memcpy(lx.name, e.text + name.text_at, CACHED_TEXT_PADDING);
        lx.name[name.text_length] = '\0';
    }
    lx.read = lx.cache_base + last.end;
    lx.address_of = 0;
    lx.cache_next = x.end;
    get_token(st);
}

bool stack_has_margin(const EngineState* st) {
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) > st->stack_floor + STACK_MARGIN;
}

// The lexer's kept line while it is the lexer's and the current token is
// one of its kept tokens, else null.
CachedLine* kept_line(const EngineState* st) {
    const LexerState& lx = st->lexer;
    if (!lx.cache || lx.cache_current == NO_TOKEN) return nullptr;
    return lx.cache->stamp == lx.cache_stamp ? lx.cache : nullptr;
}

// The same, while the lexer reads plainly (no dereferenced or persistent name).
CachedLine* plain_kept_line(const EngineState* st) {
    return st->lexer.dereference || st->lexer.persistent_name ? nullptr : kept_line(st);
}

// Where the general parse would stop with a nesting error, it must run.
bool nests_safely(const EngineState* st, const CompiledExpression& x, uint32_t levels_above) {
    return st->expression_depth + levels_above + x.token_count + 2u < NESTING_MAX && stack_has_margin(st);
}

bool run_compiled(EngineState* st, CachedLine& e, uint16_t first, Value* result) {
    const CompiledExpression* x = compiled_at(st, e, first);
    if (!x || !nests_safely(st, *x, 0)) return false;
    if (x->step_count == 1 && x->steps[0].op == FOP_VARIABLE) {
        // A lone variable is copied as the general parse copies it: the
        // value remembers where it was read from.
        const uint16_t slot = e.tokens[x->steps[0].arg].slot;
        if (!integer_variable(st, e, x->steps[0].arg)) return false;
        if (!CopyValue(st, &slot_at(st, slot)->v, &result->v, slot,
                       copy_mode(RK_SLOT, RK_VALUE) | VM_DUP_TEXT | VM_SHARE_ARRAY))
            return false;
    } else {
        int32_t value;
        if (!run_steps(st, e, *x, &value)) return false;
        if (x->binary) g_pending_fp_error = 0;
        SetInteger(&result->v, RK_VALUE, 0, value);
    }
    resume_after(st, e, *x);
    return true;
}

}  // namespace

bool fast_integer_expression(EngineState* st, Value* result) {
    CachedLine* e = plain_kept_line(st);
    return e && run_compiled(st, *e, st->lexer.cache_current, result);
}

bool fast_assigned_expression(EngineState* st, Value* result) {
    CachedLine* e = plain_kept_line(st);
    const uint16_t name = st->lexer.cache_current;
    if (!e || e->tokens[name].kind != TK_NAME || name + 2u >= e->token_count || !adjacent(*e, name)) return false;
    const CachedToken& equals = e->tokens[name + 1];
    if (equals.kind != TK_KEYWORD || equals.id != KWID_ASSIGN || !adjacent(*e, name + 1)) return false;
    // The general parse would have read the "=" before the expression.
    const uint16_t id = st->lexer.id;
    st->lexer.id = KWID_ASSIGN;
    if (run_compiled(st, *e, static_cast<uint16_t>(name + 2), result)) return true;
    st->lexer.id = id;
    return false;
}

namespace {

// Whether the kept tokens after the current one, up to `close` at their
// own level, are names, numbers, texts, constants and the integer operators
// only: reading them can run no function. With `plain_names`, each name
// must also be a variable holding a plain integer or text now.
bool kept_tokens_run_nothing(EngineState* st, uint16_t close, bool plain_names) {
    const CachedLine* kept = kept_line(st);
    if (!kept) return false;
    const CachedLine& e = *kept;
    int depth = 0;
    for (uint16_t i = st->lexer.cache_current + 1; i < e.token_count && adjacent(e, i - 1); ++i) {
        const CachedToken& t = e.tokens[i];
        if (t.kind == TK_INT || t.kind == TK_STRING) continue;
        if (t.kind == TK_NAME) {
            if (plain_names && !plain_variable(st, e, t)) return false;
            continue;
        }
        if (t.kind != TK_KEYWORD) return false;
        int32_t value;
        if (t.id == close && depth == 0) return true;
        if (t.id == KWID_OPEN) {
            ++depth;
        } else if (t.id == KWID_CLOSE) {
            if (--depth < 0) return false;
        } else if (t.id != KWID_COMMA && !integer_operator(t.id) && !integer_constant(st, t.id, &value)) {
            return false;
        }
    }
    return false;
}

}  // namespace

bool kept_subscripts_run_nothing(EngineState* st) {
    return kept_tokens_run_nothing(st, KWID_CLOSE_BRACKET, false);
}

bool kept_argument_is_lone_name(EngineState* st) {
    const CachedLine* e = plain_kept_line(st);
    const uint16_t name = st->lexer.cache_current;
    if (!e || e->tokens[name].kind != TK_NAME || name + 1u >= e->token_count || !adjacent(*e, name)) return false;
    const CachedToken& next = e->tokens[name + 1];
    if (next.kind != TK_KEYWORD || (next.id != KWID_COMMA && next.id != KWID_CLOSE)) return false;
    return kept_tokens_run_nothing(st, KWID_CLOSE, true);
}

bool kept_tokens_adjacent(const CachedLine& e, uint16_t a) { return adjacent(e, a); }

const CompiledExpression* compiled_expression(EngineState* st, CachedLine& e, uint16_t first) {
    return compiled_at(st, e, first);
}

bool compiled_lone_variable(const CompiledExpression& x) {
    return x.step_count == 1 && x.steps[0].op == FOP_VARIABLE;
}

bool kept_integer(EngineState* st, const CachedLine& e, const CompiledExpression& x, int32_t* value) {
    // The statement's own level, which the general parse enters first.
    if (!nests_safely(st, x, 1) || !run_steps(st, e, x, value)) return false;
    if (x.binary) g_pending_fp_error = 0;
    return true;
}

void forget_expressions(CompiledExpression* expressions) {
    for (size_t i = 0; i < EXPRESSIONS_PER_LINE; ++i) expressions[i].first = NO_TOKEN;
}
