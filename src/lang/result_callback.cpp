// ZeradIrevav: the result callback through which extenders and the host
// hand over a function's result or its error text.
#include "lang/host_call.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/error_numbers.h"
#include "base/heap.h"
#include "base/messages.h"
#include "lang/value.h"

namespace {

// A record must name at least one of these to be copied.
constexpr uint32_t kValueFlags =
    VF_INT | VF_STRING | VF_FLOAT | VF_UNICODE | VF_ARRAY | VF_VARIANT | EXTENDER_WIDE_RESULT;
// Integers keep their file and binary-buffer marks.
constexpr uint32_t kIntegerFlags = VF_INT | VF_FILE_BIT | VF_BINBUF_BIT;

const wchar_t* wide_result_text(const ExtenderValue& r) {
#if defined(_WIN64)
    return static_cast<const wchar_t*>(r.text);
#else
    return reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(r.integer));
#endif
}

bool copy_texts(EngineState* st, const ExtenderValue& r, ValuePayload* v) {
    if ((r.flags & VF_STRING) && !(r.flags & VF_ARRAY)) {
        const char* text = r.text ? static_cast<const char*>(r.text) : "";
        if (!(v->handle = heap_copy_text(st, text, strlen(text)))) return false;
        v->flags |= VF_STRING;
    }
    const wchar_t* wide = nullptr;
    if (r.flags & EXTENDER_WIDE_RESULT) wide = wide_result_text(r);
    else if (r.flags & VF_UNICODE) wide = static_cast<const wchar_t*>(r.text);
    if (r.flags & (EXTENDER_WIDE_RESULT | VF_UNICODE)) {
        if (!wide) wide = L"";
        if (!(v->whandle = heap_copy_wtext(st, wide, wcslen(wide)))) return false;
        v->flags |= VF_UNICODE;
    }
    return true;
}

// Builds the engine value in `v` (which starts empty); on failure the
// caller releases what was built so far. The array handle comes last, so
// that a failed copy never drops a share of an array it does not own.
bool build_value(EngineState* st, const ExtenderValue& r, ValuePayload* v) {
    if ((r.flags & VF_COMOBJ) == VF_COMOBJ || !(r.flags & kValueFlags)) return false;
    if (r.flags & VF_VARIANT) {
        if (FAILED(VariantCopy(&v->variant, const_cast<VARIANT*>(&r.variant)))) return false;
        v->flags |= VF_VARIANT;
    }
    if (!copy_texts(st, r, v)) return false;
    if (r.flags & VF_FLOAT) {
        v->real = r.real;
        v->flags |= VF_FLOAT;
    }
    if ((r.flags & VF_INT) && !(r.flags & EXTENDER_WIDE_RESULT)) {
        v->integer = r.integer;
        v->flags |= r.flags & kIntegerFlags;
    }
    if (r.flags & VF_ARRAY) {
        v->handle = reinterpret_cast<uintptr_t>(r.text);
        v->flags |= VF_ARRAY;
    }
    return true;
}

// The result then carries no origin: it names no variable or element.
bool copy_result(EngineState* st, const ExtenderValue& r, Value* result) {
    Value built;
    SetInteger(&built.v, RK_VALUE, 0, 0);
    built.v.flags = 0;
    if (!build_value(st, r, &built.v)) {
        ReleaseValue(st, &built.v, RK_VALUE, 0);
        return false;
    }
    ReleaseValue(st, &result->v, RK_VALUE, 0);
    *result = built;
    return true;
}

// The full text serves the reports; its first 255 characters are what the
// script reads back as the error's text.
void store_error_text(EngineState* st, const ExtenderValue* r) {
    bool plain_string = r && (r->flags & VF_STRING) && !(r->flags & (VF_ARRAY | VF_VARIANT)) && r->text;
    if (plain_string)
        lstrcpynA(st->extender_error_text, static_cast<const char*>(r->text), LINE_BUFFER_BYTES);
    else
        message_text(st, static_cast<int>(Err::ExtenderUndefinedError), st->extender_error_text,
                     LINE_BUFFER_BYTES);
    lstrcpynA(st->user_error_text, st->extender_error_text, sizeof st->user_error_text);
}

}  // namespace

int __stdcall ZeradIrevav(int code, void*, ExtenderContext* context, ExtenderValue* result) {
    if (!context || !context->engine) return KESTR_RESULT_NO_MEMORY;
    EngineState* st = context->engine;
    if (code < 0) {
        store_error_text(st, result);
        return code;
    }
    // Load, enumeration and unload calls have no result to fill.
    if (!context->result || !result) return code;
    return copy_result(st, *result, context->result) ? code : KESTR_RESULT_NO_MEMORY;
}
KESTR_STDCALL_EXPORT(ZeradIrevav, 16);
