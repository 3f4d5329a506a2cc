// Arithmetic, logical, bitwise and shift operators, the prefix operators, and
// text concatenation (the ":" operator).
#include "lang/evaluator.h"

#include <math.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"
#include "lang/fpfault.h"
#include "lang/keyword_table.h"
#include "lang/math_faults.h"
#include "lang/var_pointer.h"

namespace {

// Float results beyond this magnitude are overflows; below the smaller one
// they are taken as zero.
constexpr double FLOAT_RESULT_MAX = 1e300;
constexpr double FLOAT_RESULT_MIN = 1e-300;

bool is_comparison(uint16_t op) {
    switch (op) {
    case KWID_EQUAL: case KWID_NOT_EQUAL: case KWID_UNEQUAL: case KWID_LESS:
    case KWID_LESS_EQUAL: case KWID_GREATER: case KWID_GREATER_EQUAL:
        return true;
    default:
        return false;
    }
}

// Decides whether an operand counts as an integer or a float, adding that
// representation to it. A VARIANT takes the kind its type suggests first, so
// that a float in a VARIANT is not rounded into an integer.
bool classify(EngineState* st, ValuePayload* v, bool* is_float) {
    add_plain_representation(st, v);
    const uint32_t flags = v->flags;
    *is_float = false;
    if (flags & VF_INT) return true;
    if (flags & VF_FLOAT) {
        *is_float = true;
        return true;
    }
    if (flags & (VF_STRING | VF_UNICODE)) {
        // A VARIANT's text decides now: OLE's own coercion would round "2.5".
        v->flags &= ~VF_VARIANT;
        const bool integer = ToInteger(st, v, true);
        *is_float = !integer && ToFloat(st, v);
        v->flags |= flags & VF_VARIANT;
        if (integer || *is_float) return true;
    }
    return raise(st, Err::NotConvertibleToNumber);
}

// The operand is replaced by a computed number: whatever it owned is freed
// and its origin cleared.
void become_integer(EngineState* st, Value* v, int32_t x) {
    ReleaseValue(st, &v->v, RK_VALUE, 0);
    SetInteger(&v->v, RK_VALUE, 0, x);
}

void become_float(EngineState* st, Value* v, double x) {
    ReleaseValue(st, &v->v, RK_VALUE, 0);
    SetInteger(&v->v, RK_VALUE, 0, 0);
    v->v.real = x;
    v->v.flags = VF_FLOAT;
}

// Multiplication wraps modulo 2^32, so squaring gives the same result as the
// repeated multiplication the language defines.
int32_t integer_power(int32_t base, int32_t exponent) {
    uint32_t result = 1;
    uint32_t factor = static_cast<uint32_t>(base);
    for (uint32_t e = static_cast<uint32_t>(exponent); e; e >>= 1) {
        if (e & 1) result *= factor;
        factor *= factor;
    }
    return static_cast<int32_t>(result);
}

// Float operators; the logical ones give an integer, flagged through
// *integer_result.
bool float_operation(EngineState* st, uint16_t op, double a, double b, double* out, bool* integer_result) {
    *integer_result = false;
    switch (op) {
    case KWID_PLUS: *out = a + b; return true;
    case KWID_MINUS: *out = a - b; return true;
    case KWID_STAR: *out = a * b; return true;
    case KWID_DIVIDE:
        if (b == 0.0) return raise(st, Err::DivideByZero);
        *out = a / b;
        return true;
    case KWID_MOD:
        if (b == 0.0) return raise(st, Err::DivideByZero);
        *out = a - b * trunc(a / b);
        return true;
    case KWID_POWER: *out = fp_call(pow, a, b); return true;
    case KWID_AND:
        *integer_result = true;
        *out = a != 0.0 && b != 0.0;
        return true;
    case KWID_OR:
        *integer_result = true;
        *out = a != 0.0 || b != 0.0;
        return true;
    case KWID_AMPERSAND: case KWID_BIT_OR: case KWID_XOR: case KWID_SHIFT_LEFT: case KWID_SHIFT_RIGHT:
        return raise(st, Err::BadBinaryOperand);
    default:
        return raise(st, Err::IllegalSyntax);
    }
}

bool float_arithmetic(EngineState* st, uint16_t op, Value* left, double a, double b) {
    double r = 0.0;
    bool integer_result;
    CHECK(float_operation(st, op, a, b, &r, &integer_result));
    if (integer_result) {
        become_integer(st, left, static_cast<int32_t>(r));
        return true;
    }
    if (fabs(r) > FLOAT_RESULT_MAX) return raise(st, Err::FpOverflow);
    if (fabs(r) < FLOAT_RESULT_MIN) r = 0.0;
    become_float(st, left, r);
    return true;
}

double as_double(const ValuePayload& v, bool is_float) { return is_float ? v.real : v.integer; }

// ---------------------------------------------------------------- prefixes

// &name: the pointer text of the variable the operand was read from.
bool address_of(EngineState* st, Value* operand) {
    if (operand->origin_index >= ORIGIN_ARRAY_CELL) return raise(st, Err::BadAmpersandUse);
    const uint16_t slot = operand->origin_index;
    const uint16_t table = operand->origin_table;
    release_value(st, operand);
    if (table == ORIGIN_NONE || table == st->table.id) return make_pointer_value(st, slot, operand);
    // A value read through a pointer names a slot of the pointer's table.
    TableSave save;
    CHECK(SwitchTable(st, table, &save));
    const bool made = make_pointer_value(st, slot, operand);
    return RestoreTable(st, &save) && made;
}

// *pointer: the value of the variable the pointer text names.
bool dereference(EngineState* st, Value* operand) {
    if (!ToString(st, &operand->v)) return raise(st, Err::NotConvertibleToString);
    Value target;
    init_value(&target);
    if (!read_via_pointer(st, value_text(st, operand->v), &target)) {
        release_value(st, &target);
        return false;
    }
    release_value(st, operand);
    *operand = target;
    return true;
}

bool integer_prefix(EngineState* st, uint16_t op, Value* operand) {
    const int32_t x = operand->v.integer;
    switch (op) {
    case KWID_MINUS: become_integer(st, operand, static_cast<int32_t>(0u - static_cast<uint32_t>(x))); return true;
    case KWID_BIT_NOT: become_integer(st, operand, ~x); return true;
    case KWID_NOT: become_integer(st, operand, x == 0); return true;
    case KWID_PLUS: become_integer(st, operand, x); return true;
    default: return raise(st, Err::BadUnaryOperand);
    }
}

bool float_prefix(EngineState* st, uint16_t op, Value* operand) {
    const double x = operand->v.real;
    switch (op) {
    case KWID_MINUS: become_float(st, operand, -x); return true;
    case KWID_PLUS: become_float(st, operand, x); return true;
    case KWID_NOT: become_integer(st, operand, x == 0.0); return true;
    default: return raise(st, Err::BadUnaryOperand);
    }
}

// ---------------------------------------------------------------- concatenation

const char* text_or_empty(const EngineState* st, const ValuePayload& v) {
    const char* text = value_text(st, v);
    return text ? text : "";
}

const wchar_t* wtext_or_empty(const EngineState* st, const ValuePayload& v) {
    const wchar_t* text = value_wtext(st, v);
    return text ? text : L"";
}

void become_text(EngineState* st, Value* v, uint32_t block, uint32_t flag) {
    ReleaseValue(st, &v->v, RK_VALUE, 0);
    SetInteger(&v->v, RK_VALUE, 0, 0);
    v->v.flags = flag;
    if (flag == VF_UNICODE) {
        v->v.whandle = block;
    } else {
        v->v.handle = block;
    }
}

bool join_ansi(EngineState* st, Value* left, Value* right) {
    if (!ToString(st, &left->v) || !ToString(st, &right->v)) return raise(st, Err::NotConvertibleToString);
    const size_t la = strlen(text_or_empty(st, left->v));
    const size_t lb = strlen(text_or_empty(st, right->v));
    const uint32_t block = VMalloc(st, static_cast<uint32_t>(la + lb + 1));
    if (!block) return raise(st, Err::OutOfStringMemory);
    // Addresses are taken after the allocation that might have grown the heap.
    char* out = heap_text(st, block);
    memcpy(out, text_or_empty(st, left->v), la);
    memcpy(out + la, text_or_empty(st, right->v), lb + 1);
    become_text(st, left, block, VF_STRING);
    return true;
}

bool join_wide(EngineState* st, Value* left, Value* right) {
    if (!ToUnicode(st, &left->v) || !ToUnicode(st, &right->v)) return raise(st, Err::NotConvertibleToString);
    const size_t la = wcslen(wtext_or_empty(st, left->v));
    const size_t lb = wcslen(wtext_or_empty(st, right->v));
    const uint32_t block = VMalloc(st, static_cast<uint32_t>((la + lb + 1) * sizeof(wchar_t)));
    if (!block) return raise(st, Err::OutOfStringMemory);
    wchar_t* out = heap_wtext(st, block);
    wmemcpy(out, wtext_or_empty(st, left->v), la);
    wmemcpy(out + la, wtext_or_empty(st, right->v), lb + 1);
    become_text(st, left, block, VF_UNICODE);
    return true;
}

}  // namespace

// Signed 32-bit arithmetic that wraps instead of trapping; the unsigned
// casts keep the overflow defined.
Err IntegerArithmetic(uint16_t op, int32_t a, int32_t b, int32_t* out) {
    const uint32_t ua = static_cast<uint32_t>(a);
    const uint32_t ub = static_cast<uint32_t>(b);
    switch (op) {
    case KWID_PLUS: *out = static_cast<int32_t>(ua + ub); return Err::None;
    case KWID_MINUS: *out = static_cast<int32_t>(ua - ub); return Err::None;
    case KWID_STAR: *out = static_cast<int32_t>(ua * ub); return Err::None;
    case KWID_DIVIDE:
        if (b == 0) return Err::DivideByZero;
        // -2147483648 / -1 would trap in the processor; it wraps to itself.
        *out = b == -1 ? static_cast<int32_t>(0u - ua) : a / b;
        return Err::None;
    case KWID_MOD:
        if (b == 0) return Err::DivideByZero;
        *out = b == -1 ? 0 : a % b;
        return Err::None;
    case KWID_POWER:
        if (b < 0) return Err::FpFactArgument;
        *out = integer_power(a, b);
        return Err::None;
    case KWID_AMPERSAND: *out = a & b; return Err::None;
    case KWID_BIT_OR: *out = a | b; return Err::None;
    case KWID_XOR: *out = a ^ b; return Err::None;
    case KWID_SHIFT_LEFT: *out = static_cast<int32_t>(ua << (ub & 31)); return Err::None;
    case KWID_SHIFT_RIGHT: *out = a >> (ub & 31); return Err::None;
    case KWID_AND: *out = a != 0 && b != 0; return Err::None;
    case KWID_OR: *out = a != 0 || b != 0; return Err::None;
    default: return Err::IllegalSyntax;
    }
}

bool ApplyArithmetic(EngineState* st, uint16_t op, Value* left, Value* right) {
    // One entry for every binary operator, so that callers outside the
    // evaluator (For's step and bound tests) need not sort them.
    if (is_comparison(op)) return ApplyComparison(st, op, left, right);
    if (op == KWID_CONCAT) return Concatenate(st, left, right);
    g_pending_fp_error = 0;
    bool left_float, right_float;
    CHECK(classify(st, &left->v, &left_float));
    CHECK(classify(st, &right->v, &right_float));
    bool ok;
    if (left_float || right_float) {
        ok = float_arithmetic(st, op, left, as_double(left->v, left_float), as_double(right->v, right_float));
    } else {
        int32_t r = 0;
        const Err error = IntegerArithmetic(op, left->v.integer, right->v.integer, &r);
        ok = error == Err::None ? true : raise(st, error);
        if (ok) become_integer(st, left, r);
    }
    if (take_fp_fault(st)) return false;
    return ok;
}

bool ApplyUnary(EngineState* st, uint16_t op, Value* operand) {
    if (op == KWID_AMPERSAND) return address_of(st, operand);
    if (op == KWID_STAR && (operand->v.flags & (VF_STRING | VF_UNICODE))) return dereference(st, operand);
    bool is_float;
    CHECK(classify(st, &operand->v, &is_float));
    return is_float ? float_prefix(st, op, operand) : integer_prefix(st, op, operand);
}

bool Concatenate(EngineState* st, Value* left, Value* right) {
    if ((left->v.flags | right->v.flags) & (VF_UNICODE | VF_VARIANT)) return join_wide(st, left, right);
    return join_ansi(st, left, right);
}
