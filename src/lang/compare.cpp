// The comparison operators: choosing integer, float, text or wide-text
// comparison from the operands, and comparing.
#include "lang/evaluator.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/fpfault.h"
#include "lang/keyword_table.h"
#include "lang/numtext.h"

namespace {

enum class Kind : uint8_t { Integer, Float, Text, Wide, Other };
enum class Mode : uint8_t { Integer, Float, Text, Wide };

bool is_number(Kind k) { return k == Kind::Integer || k == Kind::Float; }

}  // namespace

// A VARIANT whose type fits none of the engine's kinds stays of kind Other.
void add_plain_representation(EngineState* st, ValuePayload* v) {
    if (!(v->flags & VF_VARIANT) || (v->flags & (VF_INT | VF_FLOAT | VF_STRING | VF_UNICODE))) return;
    switch (v->variant.vt) {
    case VT_EMPTY: case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_UINT: case VT_BOOL: case VT_ERROR:
        (void)variant_to_integer(st, v);
        return;
    case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_DECIMAL: case VT_I8: case VT_UI8:
        (void)variant_to_float(st, v);
        return;
    default:
        (void)variant_to_string(st, v);
        return;
    }
}

namespace {

Kind kind_of(const ValuePayload& v) {
    if (v.flags & VF_INT) return Kind::Integer;
    if (v.flags & VF_FLOAT) return Kind::Float;
    if (v.flags & VF_STRING) return Kind::Text;
    if (v.flags & VF_UNICODE) return Kind::Wide;
    return Kind::Other;
}

Mode text_mode(Kind a, Kind b) { return a == Kind::Wide || b == Kind::Wide ? Mode::Wide : Mode::Text; }

// Trial conversions of texts to numbers decide the mode; a failed trial is
// no error, so whatever it raised is withdrawn. A VARIANT's text is read as
// text: OLE's own coercion would round "2.5" into an integer.
bool text_is_integer(EngineState* st, ValuePayload* v) {
    const uint32_t variant = v->flags & VF_VARIANT;
    v->flags &= ~VF_VARIANT;
    const bool ok = ToInteger(st, v, false);
    v->flags |= variant;
    return ok;
}

bool text_is_number(EngineState* st, ValuePayload* v) {
    const uint32_t variant = v->flags & VF_VARIANT;
    v->flags &= ~VF_VARIANT;
    const bool ok = ToFloat(st, v);
    v->flags |= variant;
    return ok;
}

Mode number_with_text(EngineState* st, Kind number, ValuePayload* text) {
    if (number == Kind::Integer && text_is_integer(st, text)) return Mode::Integer;
    if (text_is_number(st, text)) return Mode::Float;
    return Mode::Text;
}

Mode text_with_text(EngineState* st, ValuePayload* a, ValuePayload* b) {
    if (text_is_integer(st, a) && text_is_integer(st, b)) return Mode::Integer;
    if (text_is_number(st, a) && text_is_number(st, b)) return Mode::Float;
    return Mode::Text;
}

bool choose_mode(EngineState* st, ValuePayload* a, ValuePayload* b, Mode* mode) {
    const Kind ka = kind_of(*a);
    const Kind kb = kind_of(*b);
    if (ka == Kind::Other || kb == Kind::Other) return raise(st, Err::NotConvertibleToNumber);
    if (is_number(ka) && is_number(kb)) {
        *mode = ka == Kind::Integer && kb == Kind::Integer ? Mode::Integer : Mode::Float;
        return true;
    }
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    if (is_number(ka)) {
        *mode = number_with_text(st, ka, b);
    } else if (is_number(kb)) {
        *mode = number_with_text(st, kb, a);
    } else {
        *mode = text_with_text(st, a, b);
    }
    if (*mode == Mode::Text) *mode = text_mode(ka, kb);
    return true;
}

// The representation the mode reads: an integer operand keeps its integer
// even when the other side made the mode float.
double float_of(const ValuePayload& v) { return (v.flags & VF_INT) ? v.integer : v.real; }

int sign_of(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

bool is_equality(uint16_t op) { return op == KWID_EQUAL || op == KWID_NOT_EQUAL || op == KWID_UNEQUAL; }

// Floats are equal when they print the same under the current decimals
// setting, so 0.1 + 0.2 == 0.3 holds; the order is that of the difference.
bool compare_floats(EngineState* st, uint16_t op, const ValuePayload& a, const ValuePayload& b, int* sign) {
    const double x = float_of(a);
    const double y = float_of(b);
    if (!is_equality(op)) {
        *sign = sign_of(x - y);
        return true;
    }
    char tx[FLOAT_TEXT_BYTES];
    char ty[FLOAT_TEXT_BYTES];
    CHECK(FloatToText(st, x, tx));
    CHECK(FloatToText(st, y, ty));
    *sign = strcmp(tx, ty) != 0;
    return true;
}

// Texts compare as the system's case-sensitive locale comparison orders them.
bool compare_texts(EngineState* st, ValuePayload* a, ValuePayload* b, int* sign) {
    if (!ToString(st, a) || !ToString(st, b)) return raise(st, Err::NotConvertibleToString);
    const char* x = value_text(st, *a);
    const char* y = value_text(st, *b);
    int order = CompareStringA(LOCALE_USER_DEFAULT, 0, x ? x : "", -1, y ? y : "", -1);
    *sign = order ? order - CSTR_EQUAL : strcmp(x ? x : "", y ? y : "");
    return true;
}

bool compare_wide_texts(EngineState* st, ValuePayload* a, ValuePayload* b, int* sign) {
    if (!ToUnicode(st, a) || !ToUnicode(st, b)) return raise(st, Err::NotConvertibleToString);
    const wchar_t* x = value_wtext(st, *a);
    const wchar_t* y = value_wtext(st, *b);
    int order = CompareStringW(LOCALE_USER_DEFAULT, 0, x ? x : L"", -1, y ? y : L"", -1);
    *sign = order ? order - CSTR_EQUAL : wcscmp(x ? x : L"", y ? y : L"");
    return true;
}

bool compare(EngineState* st, uint16_t op, Mode mode, ValuePayload* a, ValuePayload* b, int* sign) {
    switch (mode) {
    case Mode::Integer:
        *sign = a->integer < b->integer ? -1 : a->integer > b->integer;
        return true;
    case Mode::Float: return compare_floats(st, op, *a, *b, sign);
    case Mode::Text: return compare_texts(st, a, b, sign);
    case Mode::Wide: return compare_wide_texts(st, a, b, sign);
    }
    return false;
}

bool relation_of_sign(uint16_t op, int sign, bool* holds) {
    switch (op) {
    case KWID_EQUAL: *holds = sign == 0; return true;
    case KWID_NOT_EQUAL: case KWID_UNEQUAL: *holds = sign != 0; return true;
    case KWID_LESS: *holds = sign < 0; return true;
    case KWID_LESS_EQUAL: *holds = sign <= 0; return true;
    case KWID_GREATER: *holds = sign > 0; return true;
    case KWID_GREATER_EQUAL: *holds = sign >= 0; return true;
    default: return false;
    }
}

bool relation_holds(EngineState* st, uint16_t op, int sign, bool* holds) {
    return relation_of_sign(op, sign, holds) || raise(st, Err::IllegalSyntax);
}

}  // namespace

bool IntegerComparison(uint16_t op, int32_t a, int32_t b, bool* holds) {
    return relation_of_sign(op, a < b ? -1 : a > b, holds);
}

bool ApplyComparison(EngineState* st, uint16_t op, Value* left, Value* right) {
    g_pending_fp_error = 0;
    add_plain_representation(st, &left->v);
    add_plain_representation(st, &right->v);
    Mode mode = Mode::Integer;
    int sign = 0;
    bool holds = false;
    bool ok = choose_mode(st, &left->v, &right->v, &mode) && compare(st, op, mode, &left->v, &right->v, &sign) &&
              relation_holds(st, op, sign, &holds);
    if (take_fp_fault(st)) return false;
    CHECK(ok);
    ReleaseValue(st, &left->v, RK_VALUE, 0);
    SetInteger(&left->v, RK_VALUE, 0, holds ? 1 : 0);
    return true;
}
