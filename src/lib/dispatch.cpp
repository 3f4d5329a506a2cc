// DispatchFunction: converts a call's arguments to the kinds that the
// callee's keyword entry declares, routes the call by id and tidies the result.
#include "lib/dispatch.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/messages.h"
#include "lang/fpfault.h"
#include "lang/functions.h"
#include "lang/host_call.h"
#include "lang/numtext.h"
#include "lib/builtins.h"

DispatchHooks g_dispatch_hooks;

namespace {

inline bool in_range(uint16_t id, int first, int last) { return id >= first && id <= last; }

// Wide text for the pre-scan: a wide heap text, or a VARIANT holding text.
bool holds_wide_text(const ValuePayload& v) {
    if (v.flags & VF_UNICODE) return true;
    return (v.flags & VF_VARIANT) && (v.variant.vt & ~VT_BYREF) == VT_BSTR;
}

// Kind T arguments go wide together when any of them is wide; kind M ones
// join in on NT-family systems only.
bool wants_wide(const Value* args, int count, uint64_t kinds) {
    for (int i = 1; i <= count; ++i) {
        ArgKind kind = argument_kind(kinds, i);
        if ((kind == AK_TEXT || (kind == AK_MIXED_TEXT && g_os.is_nt)) && holds_wide_text(args[i].v))
            return true;
    }
    return false;
}

// A conversion that failed with an error of its own (3096, 1599 ...) keeps
// it: raise() never overwrites.
bool convert_text(EngineState* st, ValuePayload* v, bool to_wide) {
    if (to_wide) return ToUnicode(st, v) || raise(st, Err::NotConvertibleToUnicode);
    return ToString(st, v) || raise(st, Err::NotConvertibleToString);
}

// Integers accept floats, and a text that is no integer is tried as a float
// and rounded, so "2.7" becomes 3.
bool convert_integer(EngineState* st, ValuePayload* v, int position) {
    if (ToInteger(st, v, true)) return true;
    if (st->error == 0 && ToFloat(st, v) && ToInteger(st, v, true)) return true;
    return raise_argument_not_number(st, position);  // keeps an error of the conversion's own
}

bool convert_array(EngineState* st, ValuePayload* v) {
    if (!(v->flags & VF_ARRAY) && (v->flags & VF_VARIANT) && (v->variant.vt & VT_ARRAY) &&
        g_dispatch_hooks.safearray_to_array && !g_dispatch_hooks.safearray_to_array(st, v))
        return raise(st, Err::NotAnArray);
    return (v->flags & VF_ARRAY) || raise(st, Err::NotAnArray);
}

bool convert_variant(EngineState* st, ValuePayload* v) {
    if (v->flags & VF_VARIANT) return true;
    if (g_dispatch_hooks.to_variant && g_dispatch_hooks.to_variant(st, v)) return true;
    return raise(st, Err::NotConvertibleToVariant);
}

bool convert_argument(EngineState* st, ValuePayload* v, ArgKind kind, int position, bool wide) {
    switch (kind) {
    case AK_ANY: return true;
    case AK_VARIANT: return convert_variant(st, v);
    case AK_ARRAY: return convert_array(st, v);
    case AK_ANSI: return convert_text(st, v, false);
    case AK_WIDE: return convert_text(st, v, true);
    case AK_TEXT: return convert_text(st, v, wide);
    case AK_NT_TEXT: return convert_text(st, v, g_os.is_nt);
    case AK_MIXED_TEXT: return convert_text(st, v, wide && g_os.is_nt);
    case AK_FLOAT: return ToFloat(st, v) || raise(st, Err::NotConvertibleToFloat);
    default: return convert_integer(st, v, position);
    }
}

// The counts and kinds come from whichever table the id selects.
bool convert_arguments(EngineState* st, uint16_t id, Value* args, int count, bool* wide) {
    const uint32_t counts = keyword_value(st, id);
    if ((counts & 0xFF) + ((counts >> 8) & 0xFF) > MAX_ARGUMENTS)
        return raise(st, Err::TooManyArgumentsDefined);
    const uint64_t kinds = keyword_kinds(st, id);
    *wide = wants_wide(args, count, kinds);
    for (int i = 1; i <= count; ++i)
        CHECK(convert_argument(st, &args[i].v, argument_kind(kinds, i), i, *wide));
    return true;
}

void call_target(EngineState* st, const char* token_text, uint16_t id, Value* result, Value* args,
                 int count, bool wide) {
    const DispatchHooks& hooks = g_dispatch_hooks;
    if (id == KWID_OBJECT) {
        if (hooks.object_expression) return hooks.object_expression(st, token_text, result);
    } else if (id < KEYWORD_COUNT) {
        if (BuiltinHandler handler = builtin_handler(id))
            return handler(st, id, count, result, args, wide);
    } else if (in_range(id, UDF_ID_BASE, UDF_ID_LAST)) {
        return CallUserFunction(st, id, result, args, count);
    } else if (in_range(id, HOST_ID_BASE, HOST_ID_LAST)) {
        return static_cast<void>(call_host_function(st, id, result, args, count));
    } else if (in_range(id, EXTENDER_ID_BASE, EXTENDER_ID_LAST)) {
        if (hooks.extender_function) return hooks.extender_function(st, id, result, args, count, wide);
    }
    raise(st, Err::FunctionNotDefined);
}

// A numeric result never carries a stale text (an array's handle is no text).
void drop_stale_text(EngineState* st, ValuePayload* v) {
    const uint32_t flags = v->flags;
    if (!(flags & (VF_INT | VF_FLOAT)) || !(flags & VF_STRING) || (flags & VF_ARRAY)) return;
    if (v->handle) VFree(st, static_cast<uint32_t>(v->handle));
    v->handle = 0;
    v->flags = flags & ~VF_STRING;
}

// The hint text carries "%d" for the position; it may come from a language
// file, so it is filled in by hand rather than used as a format.
void add_position_hint(EngineState* st, int position) {
    char hint[256];
    message_text(st, static_cast<int>(Err::HintArgumentNotConverted), hint, sizeof hint);
    char text[sizeof hint + INT_TEXT_BYTES];
    const char* mark = strstr(hint, "%d");
    if (!mark) {
        AddErrorInfo(st, hint);
        return;
    }
    size_t before = static_cast<size_t>(mark - hint);
    memcpy(text, hint, before);
    char digits[INT_TEXT_BYTES];
    IntToText(position, digits, 10);
    size_t length = strlen(digits);
    memcpy(text + before, digits, length);
    strcpy(text + before + length, mark + 2);
    AddErrorInfo(st, text);
}

}  // namespace

bool raise_argument_not_number(EngineState* st, int position) {
    if (st->error) return false;
    raise(st, Err::NotConvertibleToNumber);
    add_position_hint(st, position);
    return false;
}

bool DispatchFunction(EngineState* st, const char* token_text, bool no_conversion, uint16_t id,
                      Value* result, Value* args, int count) {
    SetInteger(&result->v, RK_VALUE, 0, 0);
    bool wide = false;
    // Self-parsing functions convert for themselves; user-defined functions
    // take their arguments as they come.
    if (!no_conversion && !in_range(id, UDF_ID_BASE, UDF_ID_LAST))
        CHECK(convert_arguments(st, id, args, count, &wide));
    call_target(st, token_text, id, result, args, count, wide);
    drop_stale_text(st, &result->v);
    take_fp_fault(st);
    return st->error == 0;
}
