// Run-time values: creating, copying and releasing the three record kinds,
// and converting a value between its representations.
#include "lang/value.h"

#include <math.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/word_scan.h"
#include "lang/fpfault.h"
#include "lang/numtext.h"

namespace {

// A kind-2 record starts with its payload, so the payload pointer is the
// record's own address.
Value* as_value(ValuePayload* record) { return reinterpret_cast<Value*>(record); }
const Value* as_value(const ValuePayload* record) { return reinterpret_cast<const Value*>(record); }

void set_origin(Value* value, void* ref, uint16_t index, uint16_t table) {
    value->origin_ref = ref;
    value->origin_index = index;
    value->origin_table = table;
}

// The ANSI handle names a heap text only while the record holds no array:
// an array's pointer lives in the same field.
bool holds_text(const ValuePayload& v) {
    return (v.flags & (VF_STRING | VF_ARRAY)) == VF_STRING && v.handle != 0;
}

bool holds_wtext(const ValuePayload& v) { return (v.flags & VF_UNICODE) && v.whandle != 0; }

void free_text(EngineState* st, ValuePayload* v) {
    if (holds_text(*v)) VFree(st, static_cast<uint32_t>(v->handle));
    if (!(v->flags & VF_ARRAY)) v->handle = 0;
    v->flags &= ~VF_STRING;
}

void free_wtext(EngineState* st, ValuePayload* v) {
    if (holds_wtext(*v)) VFree(st, v->whandle);
    v->whandle = 0;
    v->flags &= ~VF_UNICODE;
}

void adopt_text(ValuePayload* v, uint32_t block) {
    v->handle = block;
    v->flags |= VF_STRING;
}

void adopt_wtext(ValuePayload* v, uint32_t block) {
    v->whandle = block;
    v->flags |= VF_UNICODE;
}

// Gives a copied record heap texts of its own. A text that cannot be copied
// is dropped from the copy, so that the copy never frees the source's block.
bool duplicate_texts(EngineState* st, ValuePayload* dest) {
    bool ok = true;
    if (holds_text(*dest)) {
        const char* text = heap_text(st, static_cast<uint32_t>(dest->handle));
        uint32_t copy = heap_copy_text(st, text, text_length(text));
        if (copy) {
            dest->handle = copy;
        } else {
            dest->handle = 0;
            dest->flags &= ~VF_STRING;
            ok = false;
        }
    }
    if (holds_wtext(*dest)) {
        uint32_t copy = 0;
        if (ok) {
            const wchar_t* text = heap_wtext(st, dest->whandle);
            copy = heap_copy_wtext(st, text, wcslen(text));
        }
        dest->whandle = copy;
        if (!copy) {
            dest->flags &= ~VF_UNICODE;
            ok = false;
        }
    }
    return ok || raise(st, Err::OutOfStringMemory);
}

void set_copy_origin(EngineState* st, const ValuePayload* source, Value* dest, uint32_t source_id,
                     uint32_t mode) {
    switch (mode & 0xF) {
    case RK_SLOT: {
        uint16_t table = (mode & VM_TABLE_IN_ID) ? static_cast<uint16_t>(source_id >> 16) : st->table.id;
        set_origin(dest, nullptr, static_cast<uint16_t>(source_id), table);
        break;
    }
    case RK_CELL:
        set_origin(dest, const_cast<ValuePayload*>(source), ORIGIN_ARRAY_CELL, ORIGIN_NONE);
        break;
    case RK_VALUE: {
        // A working value copied on keeps naming the storage it was read
        // from (and so keeps borrowing that storage's VARIANT).
        const Value* from = as_value(source);
        set_origin(dest, from->origin_ref, from->origin_index, from->origin_table);
        break;
    }
    default:
        set_origin(dest, nullptr, ORIGIN_NONE, ORIGIN_NONE);
        break;
    }
}

// A heap block holding the ANSI form of a wide text in the engine's code page.
uint32_t narrow_to_heap(EngineState* st, uint32_t wide_block) {
    const wchar_t* wide = wide_block ? heap_wtext(st, wide_block) : L"";
    int wide_length = static_cast<int>(wcslen(wide));
    int bytes = 0;
    if (wide_length > 0) {
        bytes = WideCharToMultiByte(st->code_page, 0, wide, wide_length, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return 0;
    }
    uint32_t block = VMalloc(st, static_cast<uint32_t>(bytes) + 1);
    if (!block) {
        raise(st, Err::OutOfStringMemory);
        return 0;
    }
    char* out = heap_text(st, block);
    if (bytes > 0)
        WideCharToMultiByte(st->code_page, 0, heap_wtext(st, wide_block), wide_length, out, bytes, nullptr,
                            nullptr);
    out[bytes] = 0;
    return block;
}

// A heap block holding the UTF-16 form of an ANSI text in the engine's code page.
uint32_t widen_to_heap(EngineState* st, uint32_t text_block) {
    const char* text = text_block ? heap_text(st, text_block) : "";
    int length = static_cast<int>(strlen(text));
    int chars = 0;
    if (length > 0) {
        chars = MultiByteToWideChar(st->code_page, 0, text, length, nullptr, 0);
        if (chars <= 0) return 0;
    }
    uint32_t block = VMalloc(st, (static_cast<uint32_t>(chars) + 1) * sizeof(wchar_t));
    if (!block) {
        raise(st, Err::OutOfStringMemory);
        return 0;
    }
    wchar_t* out = heap_wtext(st, block);
    if (chars > 0) MultiByteToWideChar(st->code_page, 0, heap_text(st, text_block), length, out, chars);
    out[chars] = 0;
    return block;
}

// Number texts are plain ASCII, so they widen without the code page.
uint32_t ascii_to_wide_heap(EngineState* st, const char* text) {
    wchar_t wide[FLOAT_TEXT_BYTES];
    size_t n = 0;
    for (; text[n] && n < FLOAT_TEXT_BYTES - 1; n++) wide[n] = static_cast<unsigned char>(text[n]);
    uint32_t block = heap_copy_wtext(st, wide, n);
    if (!block) raise(st, Err::OutOfStringMemory);
    return block;
}

uint32_t text_to_heap(EngineState* st, const char* text) {
    uint32_t block = heap_copy_text(st, text, text_length(text));
    if (!block) raise(st, Err::OutOfStringMemory);
    return block;
}

bool float_from_text(EngineState* st, ValuePayload* v) {
    // A text that is no number is the caller's error to report, and so is
    // an overflow met on the way.
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    double x;
    if (!TextToFloat(st, heap_text(st, static_cast<uint32_t>(v->handle)), &x)) return false;
    v->real = x;
    v->flags |= VF_FLOAT;
    return true;
}

bool integer_from_float(EngineState* st, ValuePayload* v) {
    const double x = v->real;
    v->integer = round_half_away(x);
    if (take_fp_fault(st)) return false;
    // Two short of the 32-bit limits, kept from the engine's first releases.
    if (!(fabs(x) <= 2147483645.0)) return false;
    // The value is now that integer alone: texts printed from the float
    // would disagree with it, and so would the array or VARIANT beside it.
    // A VARIANT that gave a float is a number and holds nothing to release.
    free_text(st, v);
    free_wtext(st, v);
    if ((v->flags & VF_ARRAY) && v->handle) array_drop_share(st, v->handle);
    v->handle = 0;
    if (v->flags & VF_VARIANT) v->variant.vt = VT_EMPTY;
    v->flags = VF_INT;
    return true;
}

}  // namespace

void SetInteger(ValuePayload* record, RecordKind kind, uint32_t mode, int32_t value) {
    record->real = 0;
    record->integer = value;
    record->flags = VF_INT;
    record->handle = 0;
    record->whandle = 0;
    if (!(mode & VM_KEEP_VARIANT)) record->variant.vt = VT_EMPTY;
    if (kind == RK_VALUE) set_origin(as_value(record), nullptr, ORIGIN_NONE, ORIGIN_NONE);
}

void ReleaseValue(EngineState* st, ValuePayload* record, RecordKind kind, uint32_t mode) {
    if ((record->flags & VF_ARRAY) && record->handle && !(mode & VM_KEEP_ARRAY)) {
        array_drop_share(st, record->handle);
        record->flags &= ~VF_ARRAY;
        record->handle = 0;
    }
    if (record->flags & VF_STRING) free_text(st, record);
    if (record->flags & VF_UNICODE) free_wtext(st, record);
    if (!(record->flags & VF_VARIANT)) return;
    // A working value read from a variable or element only borrows its VARIANT.
    if (kind == RK_VALUE && as_value(record)->origin_index != ORIGIN_NONE) return;
    if (mode & VM_KEEP_VARIANT) return;
    record->flags &= ~VF_COMOBJ;
    variant_release(record);
}

bool CopyValue(EngineState* st, const ValuePayload* source, ValuePayload* dest, uint32_t source_id,
               uint32_t mode) {
    if (((mode >> 4) & 0xF) == RK_VALUE) set_copy_origin(st, source, as_value(dest), source_id, mode);
    if (source != dest) memcpy(dest, source, sizeof(ValuePayload));

    // Shares and copies are taken before the texts so that a copy that
    // fails half-way never shares what it will later release.
    bool ok = true;
    if ((mode & VM_SHARE_ARRAY) && (dest->flags & VF_ARRAY) && dest->handle)
        array_add_share(st, dest->handle);
    if ((mode & VM_DUP_VARIANT) && (dest->flags & VF_VARIANT)) {
        if (!variant_copy(st, source, dest)) {
            dest->variant.vt = VT_EMPTY;
            dest->flags &= ~VF_COMOBJ;
            ok = false;
        }
        // The copy owns its VARIANT, so it must not pass for a borrowed one.
        if (((mode >> 4) & 0xF) == RK_VALUE && (mode & 0xF) == RK_VALUE)
            set_origin(as_value(dest), nullptr, ORIGIN_NONE, ORIGIN_NONE);
    }
    if (mode & VM_DUP_TEXT) ok = duplicate_texts(st, dest) && ok;
    return ok;
}

bool ToInteger(EngineState* st, ValuePayload* value, bool allow_float) {
    const uint32_t flags = value->flags;
    if (flags & VF_INT) return true;
    if (flags & VF_FLOAT) return allow_float && integer_from_float(st, value);
    if (flags & VF_VARIANT) return variant_to_integer(st, value);
    if ((flags & (VF_UNICODE | VF_STRING)) == VF_UNICODE) CHECK(ToString(st, value));
    if (!holds_text(*value)) return false;
    int32_t number;
    if (!ParseStrictInteger(heap_text(st, static_cast<uint32_t>(value->handle)), &number)) return false;
    value->integer = number;
    value->flags |= VF_INT;
    return true;
}

bool ToFloat(EngineState* st, ValuePayload* value) {
    const uint32_t flags = value->flags;
    if (flags & VF_FLOAT) return true;
    if (flags & VF_VARIANT) return variant_to_float(st, value);
    if ((flags & (VF_UNICODE | VF_STRING)) == VF_UNICODE) CHECK(ToString(st, value));
    if (flags & VF_INT) {
        value->real = value->integer;
        value->flags |= VF_FLOAT;
        return true;
    }
    return holds_text(*value) && float_from_text(st, value);
}

bool ToString(EngineState* st, ValuePayload* value) {
    const uint32_t flags = value->flags;
    if (flags & VF_STRING) return true;
    if (flags & VF_VARIANT) return variant_to_string(st, value);
    uint32_t block = 0;
    if (flags & VF_UNICODE) {
        block = narrow_to_heap(st, value->whandle);
    } else if (flags & VF_INT) {
        char digits[INT_TEXT_BYTES];
        IntToText(value->integer, digits, 10);
        block = text_to_heap(st, digits);
    } else if (flags & VF_FLOAT) {
        char text[FLOAT_TEXT_BYTES];
        CHECK(FloatToText(st, value->real, text));
        block = text_to_heap(st, text);
    }
    if (!block) return false;
    adopt_text(value, block);
    return true;
}

bool ToUnicode(EngineState* st, ValuePayload* value) {
    const uint32_t flags = value->flags;
    if (flags & VF_UNICODE) return true;
    if ((flags & VF_VARIANT) && !(flags & VF_STRING)) CHECK(variant_to_string(st, value));
    uint32_t block = 0;
    if (value->flags & VF_STRING) {
        block = widen_to_heap(st, static_cast<uint32_t>(value->handle));
    } else if (flags & VF_INT) {
        char digits[INT_TEXT_BYTES];
        IntToText(value->integer, digits, 10);
        block = ascii_to_wide_heap(st, digits);
    } else if (flags & VF_FLOAT) {
        char text[FLOAT_TEXT_BYTES];
        CHECK(FloatToText(st, value->real, text));
        block = ascii_to_wide_heap(st, text);
    }
    if (!block) return false;
    adopt_wtext(value, block);
    return true;
}

const char* value_text(const EngineState* st, const ValuePayload& value) {
    return holds_text(value) ? heap_text(st, static_cast<uint32_t>(value.handle)) : nullptr;
}

const wchar_t* value_wtext(const EngineState* st, const ValuePayload& value) {
    return holds_wtext(value) ? heap_wtext(st, value.whandle) : nullptr;
}

// The value becomes the text alone (as a built-in's result does); any
// earlier texts are freed. Arrays and VARIANTs are the caller's to release.
bool set_value_text(EngineState* st, ValuePayload* value, const char* text, size_t length) {
    uint32_t block = heap_copy_text(st, text, length);
    if (!block) return raise(st, Err::OutOfStringMemory);
    free_text(st, value);
    free_wtext(st, value);
    value->flags = VF_STRING;
    value->handle = block;
    return true;
}

bool set_value_wtext(EngineState* st, ValuePayload* value, const wchar_t* text, size_t length) {
    uint32_t block = heap_copy_wtext(st, text, length);
    if (!block) return raise(st, Err::OutOfStringMemory);
    free_text(st, value);
    free_wtext(st, value);
    value->flags = VF_UNICODE;
    value->whandle = block;
    return true;
}

void TypeName(uint32_t flags, VARTYPE variant_type, char* buffer, size_t size) {
    if (size == 0) return;
    char text[96] = "";
    if (flags == VF_UNDEFINED) {
        strcpy(text, "UNDEFINED");
    } else if (flags == VF_UNINITIALIZED) {
        strcpy(text, "UNINITIALIZED");
    } else {
        const bool integer = flags & VF_INT;
        if (integer && !(flags & (VF_FILE_BIT | VF_BINBUF_BIT))) strcat(text, "INT/");
        if (flags & VF_STRING) strcat(text, "STRING/");
        if (integer && (flags & VF_FILE_BIT)) strcat(text, "FILE/");
        if (flags & VF_FLOAT) strcat(text, "FLOAT/");
        if (integer && (flags & VF_BINBUF_BIT)) strcat(text, "BINBUF/");
        if (flags & VF_ARRAY) strcat(text, "ARRAY/");
        if ((flags & VF_COMOBJ) == VF_COMOBJ) {
            strcat(text, "COMOBJ/");
        } else if (flags & VF_VARIANT) {
            strcat(text, "VARIANT_");
            strncat(text, variant_type_name(variant_type), 32);
            strcat(text, "/");
        }
        if (flags & VF_UNICODE) strcat(text, "UNICODE/");
        if (flags & VF_COMTEMP) strcat(text, "COMTEMP/");
        size_t length = strlen(text);
        if (length > 0) text[length - 1] = 0;
        else strcpy(text, "UNKNOWN");
    }
    lstrcpynA(buffer, text, static_cast<int>(size));
}
