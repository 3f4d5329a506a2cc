// The expression evaluator: ProcessSubExpression and its assignments, the
// binary operators driven by one priority table, and the primary (literals,
// variables, constants, calls, special forms, prefixes, parentheses).
#include "lang/evaluator.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/messages.h"
#include "base/stack_guard.h"
#include "base/upcalls.h"
#include "lang/array_access.h"
#include "lang/debugger.h"
#include "lang/fast_expression.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/numtext.h"
#include "lang/special_forms.h"
#include "lang/trace.h"
#include "lang/var_pointer.h"
#include "lang/variables.h"

namespace {

// A call with its argument values takes about eight times the stack of a
// parenthesis or a prefix (some 1.5 KB against 180 bytes on Win64), so it
// counts for CALL_DEPTH levels of the nesting limit (engine/stack_guard.h).
constexpr uint16_t CALL_DEPTH = 8;

// Keyword type bit of functions this product leaves out.
constexpr uint32_t TYPE_NOT_AVAILABLE = 0x2000;

// ---------------------------------------------------------------- priority table

// Binary operator levels, loosest first; every level is left-associative.
enum Level : uint8_t {
    NOT_BINARY = 0,
    LOGICAL = 1,     // && ||
    BITWISE,         // ^ & |
    COMPARISON,      // == != <> > >= < <=
    CONCATENATION,   // :
    SHIFT,           // << >>
    ADDITIVE,        // + -
    MULTIPLICATIVE,  // * / mod
    POWER,           // **
};

struct BinaryOperator {
    uint16_t id;
    Level level;
};

constexpr BinaryOperator kBinaryOperators[] = {
    {KWID_AND, LOGICAL},           {KWID_OR, LOGICAL},
    {KWID_XOR, BITWISE},           {KWID_AMPERSAND, BITWISE},       {KWID_BIT_OR, BITWISE},
    {KWID_EQUAL, COMPARISON},      {KWID_NOT_EQUAL, COMPARISON},    {KWID_UNEQUAL, COMPARISON},
    {KWID_GREATER, COMPARISON},    {KWID_GREATER_EQUAL, COMPARISON}, {KWID_LESS, COMPARISON},
    {KWID_LESS_EQUAL, COMPARISON},
    {KWID_CONCAT, CONCATENATION},
    {KWID_SHIFT_LEFT, SHIFT},      {KWID_SHIFT_RIGHT, SHIFT},
    {KWID_PLUS, ADDITIVE},         {KWID_MINUS, ADDITIVE},
    {KWID_STAR, MULTIPLICATIVE},   {KWID_DIVIDE, MULTIPLICATIVE},   {KWID_MOD, MULTIPLICATIVE},
    {KWID_POWER, POWER},
};

// The level of every keyword id, so that the current token is placed with
// one look-up.
struct LevelIndex {
    uint8_t level[KEYWORD_COUNT] = {};
    constexpr LevelIndex() {
        for (const BinaryOperator& op : kBinaryOperators) level[op.id] = op.level;
    }
};
constexpr LevelIndex kLevelIndex;

}  // namespace

uint8_t BinaryLevel(uint16_t id) { return id < KEYWORD_COUNT ? kLevelIndex.level[id] : uint8_t{NOT_BINARY}; }

namespace {

inline uint8_t current_binary_level(const EngineState* st) {
    if (st->lexer.kind != TK_KEYWORD || st->lexer.id >= KEYWORD_COUNT) return NOT_BINARY;
    return kLevelIndex.level[st->lexer.id];
}

inline bool at(const EngineState* st, uint16_t id) { return st->lexer.kind == TK_KEYWORD && st->lexer.id == id; }

inline bool advance(EngineState* st) {
    get_token(st);
    return st->error == 0;
}

bool apply_binary(EngineState* st, uint8_t level, uint16_t op, Value* left, Value* right) {
    switch (level) {
    case COMPARISON: return ApplyComparison(st, op, left, right);
    case CONCATENATION: return Concatenate(st, left, right);
    default: return ApplyArithmetic(st, op, left, right);
    }
}

bool parse_unary(EngineState* st, Value* result);

bool binary_tail(EngineState* st, uint8_t limit, Value* result);

// expression(limit) -> unary { operator-above-limit expression(operator's level) }
// An operator of the level being parsed continues the tail's loop (left
// associativity); only a tighter operator recurses.
bool parse_binary(EngineState* st, uint8_t limit, Value* result) {
    CHECK(parse_unary(st, result));
    return binary_tail(st, limit, result);
}

// The operators after a left operand already in `result`.
bool binary_tail(EngineState* st, uint8_t limit, Value* result) {
    for (;;) {
        const uint8_t level = current_binary_level(st);
        if (level <= limit) {
            // "=" where a comparison could stand is the classic slip.
            if (level == NOT_BINARY && limit < COMPARISON && at(st, KWID_ASSIGN))
                return raise_hint(st, Err::AssignmentNotLegal, Err::HintUseDoubleEquals);
            return true;
        }
        const uint16_t op = st->lexer.id;
        CHECK(advance(st));
        Value right;
        init_value(&right);
        const bool ok = parse_binary(st, level, &right) && apply_binary(st, level, op, result, &right);
        release_value(st, &right);
        CHECK(ok);
    }
}

// ---------------------------------------------------------------- primary

void set_float(Value* v, double x) {
    SetInteger(&v->v, RK_VALUE, 0, 0);
    v->v.real = x;
    v->v.flags = VF_FLOAT;
}

// A view of a slot's payload that owns nothing: for subscripting, which
// only reads the array it is given.
Value slot_view(const VariableSlot& slot, uint16_t index, uint16_t table) {
    Value view;
    view.v = slot.v;
    view.reserved = 0;
    view.origin_ref = nullptr;
    view.origin_index = index;
    view.origin_table = table;
    return view;
}

// 3067, with the function's name as written in the line and "not followed
// by open parenthesis" as the additional text.
bool raise_missing_open(EngineState* st, const char* written, uint16_t length) {
    const bool first = st->error == 0;
    raise(st, Err::MissingOpenParenthesis);
    if (first) {
        char hint[256];
        message_text(st, static_cast<int>(Err::HintNoOpenParenthesis), hint, sizeof hint);
        char text[320];
        snprintf(text, sizeof text, "%.*s %s", static_cast<int>(length < 48 ? length : 48), written, hint);
        AddErrorInfo(st, text);
    }
    return false;
}

// A variable's text lent as an argument rather than copied: for a built-in
// that only reads its texts, when the argument is the variable alone and
// nothing read after it up to the call's end can run code (which could
// change the variable). The lexer moves on as reading the variable would.
bool lend_variable_text(EngineState* st, Value* arg) {
    const uint16_t slot = st->lexer.slot;
    if (st->lexer.kind != TK_NAME || slot == 0 || slot == NO_SLOT || slot >= st->table.used) return false;
    const VariableSlot* s = slot_at(st, slot);
    if (s->v.flags != VF_STRING || !s->v.handle) return false;
    // Where the general parse would stop at a nesting limit, it must run.
    if (st->expression_depth + 2u >= NESTING_MAX || !stack_has_room(st)) return false;
    if (!kept_argument_is_lone_name(st)) return false;
    *arg = slot_view(*s, slot, st->table.id);
    (void)advance(st);  // onto the kept "," or ")", which reads without fail
    return true;
}

// A lent text goes back to its variable; whatever the conversions added
// to the argument is the argument's own.
void release_argument(EngineState* st, Value* arg, bool lent) {
    if (lent) {
        arg->v.flags &= ~VF_STRING;
        arg->v.handle = 0;
    }
    release_value(st, arg);
}

// "(" arg { "," arg } ")" for a function of `required` + `optional`
// arguments; the current token is "(" and is left on ")". *count holds how
// many argument values were started, so the caller can release them.
// With `lent`, variables' texts may be lent (lent[i] set for each one).
bool parse_arguments(EngineState* st, int required, int optional, Value* args, int* count, bool* lent) {
    CHECK(advance(st));
    for (int i = 1; i <= required + optional; ++i) {
        if (i > required && at(st, KWID_CLOSE)) break;
        // The token between arguments is stepped over whatever it is; a
        // missing "," then shows as a syntax error in the next argument.
        if (i > 1) CHECK(advance(st));
        init_value(&args[i]);
        *count = i;
        if (lent && lend_variable_text(st, &args[i])) {
            lent[i] = true;
        } else if (!ProcessSubExpression(st, &args[i], 0, 0)) {
            return false;
        }
        if (i < required && !at(st, KWID_COMMA))
            return raise_hint(st, Err::IllegalDelimiter, Err::HintMoreParameters);
    }
    if (!at(st, KWID_CLOSE)) return raise_hint(st, Err::WrongArgumentCount, Err::HintMissingParenthesis);
    return true;
}

// Array arguments are held by one more share while the function runs, so
// that nothing the function does to variables frees them under it.
bool dispatch_with_shares(EngineState* st, const char* name, uint16_t id, Value* result, Value* args, int count) {
    uintptr_t shared[MAX_ARGUMENTS + 1] = {};
    for (int i = 1; i <= count; ++i) {
        if ((args[i].v.flags & VF_ARRAY) && args[i].v.handle) {
            shared[i] = args[i].v.handle;
            array_add_share(st, shared[i]);
        }
    }
    const bool ok = g_upcalls.dispatch_function(st, name, false, id, result, args, count) && st->error == 0;
    for (int i = 1; i <= count; ++i) {
        if (shared[i]) array_drop_share(st, shared[i]);
    }
    return ok;
}

// The object expression: the COM layer reads the rest of the chain itself
// and leaves the current token on the chain's last token. Kept out of line:
// its copy of the chain must not weigh on every call's stack frame.
__attribute__((noinline)) bool object_expression(EngineState* st, Value* result) {
    // Its own reading overwrites the token text, which is the chain.
    char chain[LINE_BUFFER_BYTES];
    const size_t length = st->lexer.text_length < LINE_MAX_CHARS ? st->lexer.text_length : LINE_MAX_CHARS;
    memcpy(chain, st->lexer.text, length);
    chain[length] = '\0';
    Value none;
    init_value(&none);
    CHECK(g_upcalls.dispatch_function(st, chain, true, KWID_OBJECT, result, &none, 0) && st->error == 0);
    return advance(st);
}

// A function that parses its own argument list: it starts at "(" and must
// leave the current token on its ")".
bool own_list_call(EngineState* st, const char* name, uint16_t id, Value* result) {
    Value none;
    init_value(&none);
    CHECK(g_upcalls.dispatch_function(st, name, true, id, result, &none, 0) && st->error == 0);
    if (!at(st, KWID_CLOSE)) return raise_hint(st, Err::WrongArgumentCount, Err::HintMissingParenthesis);
    return advance(st);
}

// call -> function "(" [ arg { "," arg } ] ")"
bool call_function(EngineState* st, uint16_t id, Value* result) {
    if (id == KWID_OBJECT) return object_expression(st, result);
    const uint32_t counts = keyword_value(st, id);
    const int required = counts & 0xFF;
    const int optional = (counts >> 8) & 0xFF;
    if (required != OWN_ARGUMENT_LIST && required + optional > MAX_ARGUMENTS)
        return raise(st, Err::TooManyArgumentsDefined);
    const char* name = keyword_name(st, id);
    // The line is not changed while it is read, so the name stays there.
    const char* written = st->lexer.token_start;
    const uint16_t written_length = st->lexer.text_length;
    CHECK(advance(st));
    if (!at(st, KWID_OPEN)) return raise_missing_open(st, written, written_length);
    if (required == OWN_ARGUMENT_LIST) return own_list_call(st, name, id, result);

    Value args[MAX_ARGUMENTS + 1];
    init_value(&args[0]);
    bool lent[MAX_ARGUMENTS + 1] = {};
    const bool lends = g_upcalls.reads_texts_only && g_upcalls.reads_texts_only(id);
    int count = 0;
    st->expression_depth += CALL_DEPTH - 1;
    const bool ok = parse_arguments(st, required, optional, args, &count, lends ? lent : nullptr) &&
                    dispatch_with_shares(st, name, id, result, args, count);
    st->expression_depth -= CALL_DEPTH - 1;
    for (int i = 1; i <= count; ++i) release_argument(st, &args[i], lent[i]);
    CHECK(ok);
    return advance(st);
}

// A constant's value: an integer, or a float or text from the tables.
bool constant(EngineState* st, uint16_t id, Value* result) {
    const uint32_t value = keyword_value(st, id);
    if (is_float_constant(value)) {
        set_float(result, float_constant(value));
    } else if (is_string_constant(value)) {
        const char* text = string_constant(value);
        CHECK(set_value_text(st, &result->v, text, strlen(text)));
    } else {
        SetInteger(&result->v, RK_VALUE, 0, static_cast<int32_t>(value));
    }
    return advance(st);
}

// "(" expression ")"
bool parenthesised(EngineState* st, Value* result) {
    CHECK(advance(st));
    CHECK(ProcessSubExpression(st, result, 0, 0));
    if (!at(st, KWID_CLOSE)) return raise(st, Err::UnbalancedParenthesis);
    return advance(st);
}

// Subscripts an array value that the operation itself produced (a
// dereferenced pointer); the current token is "[".
bool subscript_owned(EngineState* st, Value* result) {
    Value array = *result;
    init_value(result);
    const bool ok = array_subscript(st, &array, result, false, nullptr);
    release_value(st, &array);
    CHECK(ok);
    return advance(st);
}

// prefix -> ( "!" | "~" | "-" | "+" | "&" | "*" ) unary
bool prefixed(EngineState* st, uint16_t op, Value* result) {
    CHECK(advance(st));
    if (op == KWID_STAR && at(st, KWID_OBJECT)) {
        // The COM layer dereferences an object expression itself.
        st->lexer.object_dereference = 1;
        return parse_unary(st, result);
    }
    CHECK(parse_unary(st, result));
    CHECK(ApplyUnary(st, op, result));
    if (op == KWID_STAR && at(st, KWID_OPEN_BRACKET) && holds_subscriptable(result->v))
        return subscript_owned(st, result);
    return true;
}

bool keyword_primary(EngineState* st, Value* result) {
    const uint16_t id = st->lexer.id;
    const uint32_t type = keyword_type(st, id);
    if (type == KT_UNARY) return prefixed(st, id, result);
    if (type == KT_FUNCTION) return call_function(st, id, result);
    if (type == KT_SPECIAL) return EvaluateSpecialForm(st, id, result);
    if (type & TYPE_NOT_AVAILABLE) return raise(st, Err::FunctionNotAvailable);
    if (id == KWID_OPEN) return parenthesised(st, result);
    if (type == KT_CONSTANT) return constant(st, id, result);
    return raise(st, Err::IllegalSyntax);
}

// A name: the variable's value with its own texts, the array itself, or
// the element that "[" subscripts "]" name.
bool variable_primary(EngineState* st, Value* result) {
    uint32_t slot = st->lexer.slot;
    // Slot 0 is the dereference scratch slot, never the variable itself.
    if (slot == 0 || slot == NO_SLOT || !(slot_at(st, static_cast<uint16_t>(slot))->v.flags & VF_DEFINED_MASK)) {
        // The lookup by name raises what the language defines for a missing
        // or unassigned variable (3051, or 3052 with message 880).
        slot = find_var(st, st->lexer.text, 1);
        if (slot == NO_SLOT) return false;
    }
    CHECK(advance(st));
    const VariableSlot* s = slot_at(st, static_cast<uint16_t>(slot));
    if (at(st, KWID_OPEN_BRACKET) && holds_subscriptable(s->v)) {
        const Value view = slot_view(*s, static_cast<uint16_t>(slot), st->table.id);
        CHECK(array_subscript(st, &view, result, false, nullptr));
        return advance(st);
    }
    return CopyValue(st, &s->v, &result->v, slot, copy_mode(RK_SLOT, RK_VALUE) | VM_DUP_TEXT | VM_SHARE_ARRAY);
}

bool parse_primary(EngineState* st, Value* result) {
    switch (st->lexer.kind) {
    case TK_KEYWORD:
        return keyword_primary(st, result);
    case TK_NAME:
        return variable_primary(st, result);
    case TK_INT:
        SetInteger(&result->v, RK_VALUE, 0, TextToInt(st->lexer.text));
        return advance(st);
    case TK_FLOAT: {
        double x;
        // TextToFloat raises 1342 for an overflow itself.
        if (!TextToFloat(st, st->lexer.text, &x)) return raise(st, Err::IllegalSyntax);
        set_float(result, x);
        return advance(st);
    }
    case TK_STRING:
        CHECK(set_value_text(st, &result->v, st->lexer.text, st->lexer.text_length));
        return advance(st);
    default:
        return raise(st, Err::IllegalSyntax);
    }
}

// unary -> prefix | primary, with the nesting guard: every nested
// parenthesis, prefix and argument passes here.
bool parse_unary(EngineState* st, Value* result) {
    NestingLevel level(st);
    return level.entered() && parse_primary(st, result);
}

// ---------------------------------------------------------------- assignment

// Where an assignment stores: a slot of some variable table, or an element.
struct AssignTarget {
    uint16_t table;
    uint16_t slot;      // the variable, or the array variable of an element
    ArrayCell* cell;    // the element, or null
};

// The name token an expression starts with, kept so that the parse can
// start over at it when no "=" follows.
struct NameMark {
    const char* read;
    const char* token_start;
    uint16_t id, slot, text_length;
    uint8_t kind, address_of;
    char text[sizeof(LexerState::name)];
    char name[sizeof(LexerState::name)];
};

void mark_name(const EngineState* st, NameMark* m) {
    const LexerState& lx = st->lexer;
    m->read = lx.read;
    m->token_start = lx.token_start;
    m->id = lx.id;
    m->slot = lx.slot;
    m->kind = lx.kind;
    m->address_of = lx.address_of;
    m->text_length = lx.text_length < sizeof m->text ? lx.text_length : sizeof m->text - 1;
    // Whole arrays: fixed-size copies need no library call.
    memcpy(m->text, lx.text, sizeof m->text);
    m->text[m->text_length] = '\0';
    memcpy(m->name, lx.name, sizeof m->name);
}

void return_to_name(EngineState* st, const NameMark& m) {
    LexerState& lx = st->lexer;
    lx.read = m.read;
    lx.token_start = m.token_start;
    lx.id = m.id;
    lx.slot = m.slot;
    lx.kind = m.kind;
    lx.address_of = m.address_of;
    lx.text_length = m.text_length;
    memcpy(lx.text, m.text, sizeof m.text);
    memcpy(lx.name, m.name, sizeof m.name);
}

// Reads a slot of another variable table as a view.
bool view_in_table(EngineState* st, uint16_t table, uint16_t slot, Value* view) {
    if (table == st->table.id) {
        *view = slot_view(*slot_at(st, slot), slot, table);
        return true;
    }
    TableSave save;
    CHECK(SwitchTable(st, table, &save));
    *view = slot_view(*slot_at(st, slot), slot, table);
    return RestoreTable(st, &save);
}

// "*" target: the variable that a pointer names. The pointer is the text of
// variable `holder`, or of the element of it that "[" subscripts "]" select.
// The current token is the holder's name; it is left after the pointer.
bool pointer_target(EngineState* st, uint16_t holder, AssignTarget* t) {
    CHECK(advance(st));
    const VariableSlot* s = slot_at(st, holder);
    Value element;
    init_value(&element);
    const ValuePayload* pointer = &s->v;
    if (s->v.flags & VF_ARRAY) {
        if (!at(st, KWID_OPEN_BRACKET)) return raise(st, Err::ArrayNeedsSubscripts);
        const Value view = slot_view(*s, holder, st->table.id);
        bool ok = array_subscript(st, &view, &element, false, nullptr) && advance(st);
        if (!ok) {
            release_value(st, &element);
            return false;
        }
        pointer = &element.v;
    }
    const char* text = value_text(st, *pointer);
    VariablePointer ptr;
    bool ok = text ? parse_variable_pointer(st, text, &ptr) : raise(st, Err::NotVariablePointer);
    release_value(st, &element);
    CHECK(ok);
    TableSave save;
    CHECK(enter_pointer_table(st, ptr, &save, &t->slot));
    t->table = ptr.table;
    return RestoreTable(st, &save);
}

// Finds what the name at the current token assigns to; the current token
// is left on the first token after the target.
bool find_target(EngineState* st, bool through_pointer, AssignTarget* t) {
    t->cell = nullptr;
    t->table = st->table.id;
    uint16_t slot = st->lexer.slot;
    if (through_pointer || slot == 0 || slot == NO_SLOT) {
        slot = find_slot_lowered(st, st->lexer.text, st->lexer.text_length);
        if (slot == NO_SLOT) {
            if (through_pointer) return raise(st, Err::NotVariablePointer);
            slot = find_or_create_slot(st, st->lexer.text, st->lexer.text_length);
            if (slot == NO_SLOT) return false;
        }
    }
    if (through_pointer) {
        CHECK(pointer_target(st, slot, t));
    } else {
        t->slot = slot;
        CHECK(advance(st));
    }
    if (!at(st, KWID_OPEN_BRACKET)) return true;
    Value array;
    CHECK(view_in_table(st, t->table, t->slot, &array));
    // "[" after a variable that holds no array is left for the caller to reject.
    if (!holds_subscriptable(array.v)) return true;
    CHECK(array_subscript(st, &array, nullptr, true, &t->cell));
    return advance(st);
}

// Stores a copy of `value` into a slot or an element record. Texts get
// blocks of their own and an array one more share; a VARIANT that the value
// owns moves into the record (the value then borrows it from there), a
// borrowed one is copied.
bool store_value(EngineState* st, ValuePayload* dest, RecordKind kind, Value* value, const AssignTarget& t) {
    if (kind == RK_CELL && (value->v.flags & VF_ARRAY)) return raise(st, Err::EmbeddedArray);
    const bool owns_variant = (value->v.flags & VF_VARIANT) && value->origin_index == ORIGIN_NONE;
    ValuePayload fresh;
    uint32_t mode = copy_mode(RK_VALUE, kind) | VM_DUP_TEXT | VM_SHARE_ARRAY;
    if ((value->v.flags & VF_VARIANT) && !owns_variant) mode |= VM_DUP_VARIANT;
    if (!CopyValue(st, &value->v, &fresh, 0, mode)) {
        // A VARIANT that was not copied is still the value's own.
        ReleaseValue(st, &fresh, kind, owns_variant ? uint32_t{VM_KEEP_VARIANT} : 0u);
        return false;
    }
    if (owns_variant) {
        value->origin_ref = kind == RK_CELL ? dest : nullptr;
        value->origin_index = kind == RK_CELL ? ORIGIN_ARRAY_CELL : t.slot;
        value->origin_table = kind == RK_CELL ? ORIGIN_NONE : t.table;
    }
    // The old value goes only now: the new one may have been read from it.
    ReleaseValue(st, dest, kind, 0);
    *dest = fresh;
    return true;
}

bool store_in_slot(EngineState* st, const AssignTarget& t, Value* value) {
    const bool other_table = t.table != st->table.id;
    TableSave save;
    if (other_table) CHECK(SwitchTable(st, t.table, &save));
    bool ok = store_value(st, &slot_at(st, t.slot)->v, RK_SLOT, value, t);
    if (ok) st->scopes[t.table].last_assigned = t.slot;
    if (other_table && !RestoreTable(st, &save)) ok = false;
    return ok;
}

// ---------------------------------------------------------------- in-place append

// Puts off the release of a variable's text while the operands of
// `name = name : ...` run, so that the text read first stays as it was even
// should an operand (a function writing through a pointer, say) replace the
// variable. A text released meanwhile belongs to the pin's holder.
class TextPin {
public:
    TextPin(EngineState* st, uint32_t block) : st_(st), block_(block) {
        st->pinned_block = block;
        st->pinned_released = 0;
    }
    ~TextPin() {
        const uint32_t left = take();
        if (left) VFree(st_, left);
    }
    bool released() const { return st_->pinned_released != 0; }
    // Ends the pin; the block when the variable let it go (now the caller's), else 0.
    uint32_t take() {
        if (!st_->pinned_block) return 0;
        st_->pinned_block = 0;
        return released() ? block_ : 0;
    }

private:
    EngineState* st_;
    uint32_t block_;
};

enum class Append { NotTaken, Done, Continued };

// Whether `name = name : ...` may grow the variable's own text: a plain
// text in the current table, and no other append under way (its pinned
// text must not change under it).
bool appendable(EngineState* st, const AssignTarget& t) {
    const LexerState& lx = st->lexer;
    if (t.cell || t.table != st->table.id || st->pinned_block) return false;
    if (lx.kind != TK_NAME || lx.slot != t.slot || lx.slot == 0) return false;
    const ValuePayload& v = slot_at(st, t.slot)->v;
    return v.flags == VF_STRING && v.handle != 0;
}

// Adds an evaluated ":" operand to the text gathered so far (none yet when
// `first`), converted and checked as the general ":" would.
bool gather_operand(EngineState* st, Value* gathered, Value* operand, bool first) {
    if (first) {
        if (!ToString(st, &operand->v)) return raise(st, Err::NotConvertibleToString);
        *gathered = *operand;
        init_value(operand);
        return true;
    }
    return Concatenate(st, gathered, operand);
}

// The general parse goes on with the variable's text, then what was
// gathered, then the operand that stopped the gathering, as its left side.
bool continue_general(EngineState* st, TextPin& pin, uint32_t block, Value* gathered, bool any_gathered,
                      Value* operand, bool stopped_at_operand, Value* result) {
    const uint32_t owned = pin.take();
    if (owned) {
        result->v.flags = VF_STRING;
        result->v.handle = owned;
    } else {
        CHECK(set_value_text(st, &result->v, heap_text(st, block), heap_text_length(st, block)));
    }
    if (any_gathered) CHECK(Concatenate(st, result, gathered));
    if (stopped_at_operand) CHECK(Concatenate(st, result, operand));
    return binary_tail(st, NOT_BINARY, result);
}

// `name = name : a : b ...` (the current token is the second name): the
// operands run in order with the conversions and errors of the general
// parse, and when nothing but ":" operands of plain text or numbers follow,
// their text is appended to the variable's own block, which grows in place
// where the heap has room, instead of copying the whole text for every ":".
// Any other shape hands over to the general parse (Continued), or leaves the
// current token on the name untouched (NotTaken).
bool append_assignment(EngineState* st, const AssignTarget& t, Value* result, Append* outcome) {
    *outcome = Append::NotTaken;
    NameMark mark;
    mark_name(st, &mark);
    CHECK(advance(st));
    if (!at(st, KWID_CONCAT)) {
        return_to_name(st, mark);
        return true;
    }
    *outcome = Append::Continued;
    const uint32_t block = static_cast<uint32_t>(slot_at(st, t.slot)->v.handle);
    TextPin pin(st, block);
    Value gathered, operand;
    init_value(&gathered);
    init_value(&operand);
    bool ok = true, plain = true;
    int gathered_count = 0;
    while (ok && plain && at(st, KWID_CONCAT)) {
        ok = advance(st) && parse_binary(st, CONCATENATION, &operand);
        plain = ok && !(operand.v.flags & (VF_UNICODE | VF_VARIANT));
        if (plain) {
            ok = gather_operand(st, &gathered, &operand, gathered_count++ == 0);
            release_value(st, &operand);
        }
    }
    VariableSlot* slot = slot_at(st, t.slot);
    const bool in_place = ok && plain && st->lexer.kind == TK_END && !pin.released() &&
                          slot->v.handle == block && slot->v.flags == VF_STRING;
    if (in_place) {
        pin.take();
        const char* add = value_text(st, gathered.v);
        const size_t add_length = add ? strlen(add) : 0;
        const uint32_t grown = heap_append_text(st, block, heap_text_length(st, block), add, add_length);
        if (grown) {
            slot->v.handle = grown;
            st->scopes[t.table].last_assigned = t.slot;
            *outcome = Append::Done;
        } else {
            ok = raise(st, Err::OutOfStringMemory);
        }
    } else if (ok) {
        ok = continue_general(st, pin, block, &gathered, gathered_count > 0, &operand, !plain, result);
    }
    release_value(st, &operand);
    release_value(st, &gathered);
    return ok;
}

// target "=" expression, the current token being the "=". The statement's
// value goes into `result` unless nobody reads it (`result_unused`), which
// lets an append to the target's own text grow it in place.
bool assign(EngineState* st, const AssignTarget& t, Value* result, bool result_unused) {
    // Recorded so that Drop leaves the target alone while the right-hand
    // side runs.
    st->assign_table = t.table;
    st->assign_slot = t.slot;
    CHECK(advance(st));
    Append appended = Append::NotTaken;
    if (result_unused && appendable(st, t)) {
        CHECK(append_assignment(st, t, result, &appended));
        if (appended == Append::Done) return true;
    }
    if (appended == Append::NotTaken && !fast_integer_expression(st, result)) CHECK(parse_binary(st, 0, result));
    if (st->lexer.kind != TK_END) return raise_hint(st, Err::ExtraAfterExpression, Err::HintExtraCharacters);
    if (t.cell) {
        CHECK(store_value(st, &t.cell->v, RK_CELL, result, t));
        st->scopes[t.table].last_assigned = t.slot;
        return true;
    }
    return store_in_slot(st, t, result);
}

// "name = expression" whose expression is compiled from kept tokens: the
// target is the name's slot in the current table, as find_target finds it,
// and the value is stored as assign stores it. False with nothing changed
// when the expression does not compile or its variables hold no integers.
bool fast_assignment(EngineState* st, Value* result, bool* assigned) {
    const uint16_t slot = st->lexer.slot;
    if (st->lexer.kind != TK_NAME || slot == 0 || slot == NO_SLOT) return false;
    const AssignTarget target{st->table.id, slot, nullptr};
    if (!fast_assigned_expression(st, result)) return false;
    *assigned = true;
    st->assign_table = target.table;
    st->assign_slot = target.slot;
    if (st->lexer.kind != TK_END) return raise_hint(st, Err::ExtraAfterExpression, Err::HintExtraCharacters);
    return store_in_slot(st, target, result);
}

// An expression that starts with a name may be an assignment. *assigned
// tells whether it was; otherwise the current token is the name again. Kept
// out of line so that nested parentheses do not carry its frame.
__attribute__((noinline)) bool try_assignment(EngineState* st, Value* result, bool allowed, bool through_pointer,
                                              bool result_unused, bool* assigned) {
    *assigned = false;
    // A compiled integer value never takes the in-place append of texts.
    if (allowed && !through_pointer) {
        const bool ok = fast_assignment(st, result, assigned);
        if (*assigned) return ok;
    }
    NameMark mark;
    mark_name(st, &mark);
    if (!allowed && !through_pointer) {
        // Only "name =" needs telling apart here: any other "=" is caught
        // where a comparison could stand, with the same error, without
        // evaluating a target's subscripts twice.
        CHECK(advance(st));
        if (at(st, KWID_ASSIGN)) return raise_hint(st, Err::AssignmentNotLegal, Err::HintUseDoubleEquals);
        return_to_name(st, mark);
        return true;
    }
    AssignTarget target;
    CHECK(find_target(st, through_pointer, &target));
    if (!at(st, KWID_ASSIGN)) {
        return_to_name(st, mark);
        return true;
    }
    if (!allowed) return raise_hint(st, Err::AssignmentNotLegal, Err::HintUseDoubleEquals);
    *assigned = true;
    return assign(st, target, result, result_unused);
}

}  // namespace

void release_value(EngineState* st, Value* v) {
    ReleaseValue(st, &v->v, RK_VALUE, 0);
    init_value(v);
}

namespace {

int evaluate(EngineState* st, Value* result, bool allow_assignment, bool through_pointer, bool result_unused) {
    init_value(result);
    // An expression that compiles cannot be an assignment: it has no "=".
    if (!through_pointer && fast_integer_expression(st, result)) return 1;
    if (st->lexer.kind == TK_NAME) {
        bool assigned;
        if (!try_assignment(st, result, allow_assignment, through_pointer, result_unused, &assigned)) return 0;
        if (assigned) return 1;
    }
    return parse_binary(st, NOT_BINARY, result) ? 1 : 0;
}

}  // namespace

int ProcessSubExpression(EngineState* st, Value* result, int allow_assignment, int dereference_target) {
    return evaluate(st, result, allow_assignment != 0, dereference_target != 0, false);
}

void assign_integer_statement(EngineState* st, uint16_t slot, int32_t value, Value* result) {
    const AssignTarget target{st->table.id, slot, nullptr};
    st->assign_table = target.table;
    st->assign_slot = target.slot;
    SetInteger(&result->v, RK_VALUE, 0, value);
    ValuePayload& held = slot_at(st, slot)->v;
    if (held.flags == VF_INT) {
        // An integer over an integer: nothing to release, the same record
        // as a copy of the value leaves.
        SetInteger(&held, RK_SLOT, 0, value);
        st->scopes[target.table].last_assigned = slot;
        return;
    }
    // Cannot fail: the target is in the current table, and an integer is
    // copied without a block of its own.
    (void)store_in_slot(st, target, result);
}

bool append_text_statement(EngineState* st, uint16_t slot, const char* text, size_t length) {
    ValuePayload& v = slot_at(st, slot)->v;
    if (v.flags != VF_STRING || !v.handle || st->pinned_block) return false;
    const uint32_t block = static_cast<uint32_t>(v.handle);
    const uint32_t grown = heap_append_text(st, block, heap_text_length(st, block), text, length);
    if (!grown) return false;
    st->assign_table = st->table.id;
    st->assign_slot = slot;
    // As the general append leaves its pin: ended, nothing released.
    st->pinned_released = 0;
    v.handle = grown;
    st->scopes[st->table.id].last_assigned = slot;
    return true;
}

int ProcessStatementExpression(EngineState* st, Value* result, bool through_pointer) {
    // Only the trace and the debugger read a statement's value.
    const bool result_unused = !tracing(st) && !debugging(st);
    return evaluate(st, result, true, through_pointer, result_unused);
}
