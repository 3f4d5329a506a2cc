// Numeric built-in functions: absolute values and rounding, the C library's
// float functions, Min/Max/Average, Random, Decimals, the number tests, the
// tick count and the version texts.
#include <math.h>
#include <string.h>
#include <wchar.h>
#include <stdlib.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/messages.h"
#include "lang/evaluator.h"
#include "lang/fpfault.h"
#include "lang/lexer.h"
#include "lang/math_faults.h"
#include "lang/numtext.h"
#include "lib/builtins.h"

namespace {

// ------------------------------------------------------------------ helpers

inline void set_float(Value* result, double x) {
    result->v.real = x;
    result->v.flags = VF_FLOAT;
}

// The value a number test and Min/Max/Average see in an argument: an
// integer, a float, or a text (or VARIANT) read as one or the other.
enum class NumberKind { None, Integer, Float };

// A VARIANT is judged by its text, as OLE would round 2.5 or "2.5" to an I4
// without complaint; the number read is added beside the VARIANT.
NumberKind variant_number_kind(EngineState* st, ValuePayload* v) {
    if (!ToString(st, v)) return NumberKind::None;
    const char* text = value_text(st, *v);
    int32_t n;
    if (ParseStrictInteger(text, &n)) {
        v->integer = n;
        v->flags |= VF_INT;
        return NumberKind::Integer;
    }
    // A text too large for a double is no number, and no error.
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    double x;
    if (TextToFloat(st, text, &x)) {
        v->real = x;
        v->flags |= VF_FLOAT;
        return NumberKind::Float;
    }
    return NumberKind::None;
}

NumberKind number_kind(EngineState* st, ValuePayload* v) {
    if (v->flags & VF_INT) return NumberKind::Integer;
    if (v->flags & VF_FLOAT) return NumberKind::Float;
    if (v->flags & VF_VARIANT) return variant_number_kind(st, v);
    if (!(v->flags & (VF_STRING | VF_UNICODE))) return NumberKind::None;
    if (ToInteger(st, v, false)) return NumberKind::Integer;
    if (ToFloat(st, v)) return NumberKind::Float;
    return NumberKind::None;
}

// ------------------------------------------------------------------ rounding

// Abs(number)
BUILTIN(math_abs) {
    const int32_t n = args[1].v.integer;
    // -2147483648 stays itself, as 32-bit negation leaves it.
    result->v.integer = n < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(n)) : n;
}

// Int(number): the argument's conversion has already rounded half away from zero.
BUILTIN(math_int) { result->v.integer = args[1].v.integer; }

// Acos, Asin, Atan, Ceiling, Cos, Cosh, Exp, Fabs, Floor, Log10, LogE, Sin,
// Sinh, Sqrt, Tan, Tanh (number): one row each below.
template <double (*function)(double)>
BUILTIN(math_float_function) {
    set_float(result, fp_call(function, args[1].v.real));
}

// ------------------------------------------------------------------ Min, Max, Average

enum class Fold { Min, Max, Average };

// Reads one argument of an own list into x; false with the error set.
bool read_number(EngineState* st, int position, double* x, bool* is_float) {
    Value arg;
    init_value(&arg);
    bool ok = ProcessSubExpression(st, &arg, 0, 0) != 0;
    if (ok) {
        NumberKind kind = number_kind(st, &arg.v);
        ok = kind != NumberKind::None || raise_argument_not_number(st, position);
        *is_float = kind == NumberKind::Float;
        *x = *is_float ? arg.v.real : arg.v.integer;
    }
    release_value(st, &arg);
    return ok;
}

// The lexer arrives on "(" and is left on the closing ")". The result is an
// integer when every argument was one; Average is always a float.
void fold_arguments(EngineState* st, Value* result, Fold fold) {
    double best = 0.0, sum = 0.0;
    bool any_float = false;
    for (int position = 1;; ++position) {
        get_token(st);
        if (st->error) return;
        double x;
        bool is_float;
        if (!read_number(st, position, &x, &is_float)) return;
        any_float |= is_float;
        sum += x;
        if (position == 1 || (fold == Fold::Min ? x < best : x > best)) best = x;
        if (token_is(st, KWID_CLOSE)) {
            if (fold == Fold::Average)
                set_float(result, sum / position);
            else if (any_float)
                set_float(result, best);
            else
                result->v.integer = static_cast<int32_t>(best);
            return;
        }
        if (!token_is(st, KWID_COMMA)) {
            raise_hint(st, Err::WrongArgumentCount, Err::HintMissingParenthesis);
            return;
        }
    }
}

// Min(number, number, ...)
BUILTIN(math_min) { fold_arguments(st, result, Fold::Min); }
// Max(number, number, ...)
BUILTIN(math_max) { fold_arguments(st, result, Fold::Max); }
// Average(number, number, ...)
BUILTIN(math_average) { fold_arguments(st, result, Fold::Average); }

// ------------------------------------------------------------------ number tests

// 1 when the argument holds, or reads as, a number of the kinds accepted.
void number_test(EngineState* st, Value* result, Value* args, bool real) {
    NumberKind kind = number_kind(st, &args[1].v);
    result->v.integer = kind == NumberKind::Integer || (real && kind == NumberKind::Float);
}

// IsInt(value): an integer, or a text that reads as one (" 42", "-7").
BUILTIN(math_is_int) { number_test(st, result, args, false); }
// IsFloat(value) and IsNumber(value): anything that converts to a
// floating-point number, integers and their texts included.
BUILTIN(math_is_number) { number_test(st, result, args, true); }

// DataCast(value, type): the value as one representation only, named by
// the VarType bit of that kind: 1 integer (floats rounded half away from
// zero), 2 text, 32 floating point, 128 Unicode text.
BUILTIN(math_data_cast) {
    ValuePayload* v = &args[1].v;
    switch (args[2].v.integer) {
    case VF_INT:
        if (!ToInteger(st, v, true) && !(ToFloat(st, v) && ToInteger(st, v, true)))
            return (void)raise(st, Err::NotConvertibleToNumber);
        result->v.integer = v->integer;
        return;
    case VF_FLOAT:
        if (!ToFloat(st, v)) return (void)raise(st, Err::NotConvertibleToFloat);
        return set_float(result, v->real);
    case VF_STRING: {
        if (!ToString(st, v)) return (void)raise(st, Err::NotConvertibleToString);
        const char* text = value_text(st, *v);
        return (void)set_value_text(st, &result->v, text, strlen(text));
    }
    case VF_UNICODE: {
        if (!ToUnicode(st, v)) return (void)raise(st, Err::NotConvertibleToUnicode);
        const wchar_t* text = value_wtext(st, *v);
        return (void)set_value_wtext(st, &result->v, text, wcslen(text));
    }
    default:
        raise(st, Err::DataCastBadType);
    }
}

// ------------------------------------------------------------------ the rest

// Random(max): 0 .. max inclusive; 0 when max is not positive.
BUILTIN(math_random) {
    const int32_t max = args[1].v.integer;
    if (max <= 0) return;
    // The C run-time generator (seeded at start-up) gives 15 bits a call.
    uint64_t bits = static_cast<uint64_t>(rand()) << 30 ^ static_cast<uint64_t>(rand()) << 15 ^
                    static_cast<uint64_t>(rand());
    result->v.integer = static_cast<int32_t>(bits % (static_cast<uint64_t>(max) + 1));
}

// Decimals(places): returns the previous setting.
BUILTIN(math_decimals) { result->v.integer = set_decimals(st, args[1].v.integer); }

// GetTickCount()
BUILTIN(math_tick_count) { result->v.integer = static_cast<int32_t>(GetTickCount()); }

// Version() and VersionDll(): the engine's version text.
BUILTIN(math_version) {
    char text[64];
    int length = message_text(st, static_cast<int>(Err::EngineVersion), text, sizeof text);
    (void)set_value_text(st, &result->v, text, static_cast<size_t>(length));
}

}  // namespace

constexpr BuiltinRow kMathBuiltins[] = {
    BUILTIN_ROW("abs", math_abs),
    BUILTIN_ROW("acos", math_float_function<acos>),
    BUILTIN_ROW("asin", math_float_function<asin>),
    BUILTIN_ROW("atan", math_float_function<atan>),
    BUILTIN_ROW("average", math_average),
    BUILTIN_ROW("ceiling", math_float_function<ceil>),
    BUILTIN_ROW("cos", math_float_function<cos>),
    BUILTIN_ROW("cosh", math_float_function<cosh>),
    BUILTIN_ROW("datacast", math_data_cast),
    BUILTIN_ROW("decimals", math_decimals),
    BUILTIN_ROW("exp", math_float_function<exp>),
    BUILTIN_ROW("fabs", math_float_function<fabs>),
    BUILTIN_ROW("floor", math_float_function<floor>),
    BUILTIN_ROW("gettickcount", math_tick_count),
    BUILTIN_ROW("int", math_int),
    BUILTIN_ROW("isfloat", math_is_number),
    BUILTIN_ROW("isint", math_is_int),
    BUILTIN_ROW("isnumber", math_is_number),
    BUILTIN_ROW("log10", math_float_function<log10>),
    BUILTIN_ROW("loge", math_float_function<log>),
    BUILTIN_ROW("max", math_max),
    BUILTIN_ROW("min", math_min),
    BUILTIN_ROW("random", math_random),
    BUILTIN_ROW("sin", math_float_function<sin>),
    BUILTIN_ROW("sinh", math_float_function<sinh>),
    BUILTIN_ROW("sqrt", math_float_function<sqrt>),
    BUILTIN_ROW("tan", math_float_function<tan>),
    BUILTIN_ROW("tanh", math_float_function<tanh>),
    BUILTIN_ROW("version", math_version),
    BUILTIN_ROW("versiondll", math_version),
};
constexpr size_t kMathBuiltinCount = sizeof(kMathBuiltins) / sizeof(kMathBuiltins[0]);
