// VARIANT hooks of the value code, served by OLE's own coercion until the
// COM layer's conversions replace them; and the names of VARIANT types.
#include "lang/value.h"

#include <oleauto.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"

namespace {

struct VariantName {
    VARTYPE type;
    const char* name;
};

// Names without their "VT_" prefix: the type-name text reads "VARIANT_I4".
const VariantName kVariantNames[] = {
    {VT_EMPTY, "EMPTY"},         {VT_NULL, "NULL"},
    {VT_I2, "I2"},               {VT_I4, "I4"},
    {VT_R4, "R4"},               {VT_R8, "R8"},
    {VT_CY, "CY"},               {VT_DATE, "DATE"},
    {VT_BSTR, "BSTR"},           {VT_DISPATCH, "DISPATCH"},
    {VT_ERROR, "ERROR"},         {VT_BOOL, "BOOL"},
    {VT_VARIANT, "VARIANT"},     {VT_UNKNOWN, "UNKNOWN"},
    {VT_DECIMAL, "DECIMAL"},     {VT_I1, "I1"},
    {VT_UI1, "UI1"},             {VT_UI2, "UI2"},
    {VT_UI4, "UI4"},             {VT_I8, "I8"},
    {VT_UI8, "UI8"},             {VT_INT, "INT"},
    {VT_UINT, "UINT"},           {VT_VOID, "VOID"},
    {VT_HRESULT, "HRESULT"},     {VT_PTR, "PTR"},
    {VT_SAFEARRAY, "SAFEARRAY"}, {VT_CARRAY, "CARRAY"},
    {VT_USERDEFINED, "USERDEFINED"}, {VT_LPSTR, "LPSTR"},
    {VT_LPWSTR, "LPWSTR"},       {VT_RECORD, "RECORD"},
    {VT_FILETIME, "FILETIME"},   {VT_BLOB, "BLOB"},
    {VT_STREAM, "STREAM"},       {VT_STORAGE, "STORAGE"},
    {VT_STREAMED_OBJECT, "STREAMED_OBJECT"}, {VT_STORED_OBJECT, "STORED_OBJECT"},
    {VT_BLOB_OBJECT, "BLOB_OBJECT"}, {VT_CF, "CF"},
    {VT_CLSID, "CLSID"},         {VT_BSTR_BLOB, "BSTR_BLOB"},
};

// A changed copy of the VARIANT; the source (perhaps borrowed from a
// variable) is never touched.
bool coerce(const VARIANT& from, VARTYPE type, VARIANT* to) {
    VariantInit(to);
    return SUCCEEDED(VariantChangeTypeEx(to, const_cast<VARIANT*>(&from), LOCALE_USER_DEFAULT, 0, type));
}

// ANSI copy of a BSTR in a new heap block, with room for a ".0" suffix.
uint32_t bstr_to_heap(EngineState* st, BSTR text, bool add_point_zero) {
    int wide_length = text ? static_cast<int>(SysStringLen(text)) : 0;
    int bytes = 0;
    if (wide_length > 0) {
        bytes = WideCharToMultiByte(st->code_page, 0, text, wide_length, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return 0;
    }
    uint32_t block = VMalloc(st, static_cast<uint32_t>(bytes) + 3);
    if (!block) {
        raise(st, Err::OutOfStringMemory);
        return 0;
    }
    char* out = heap_text(st, block);
    if (bytes > 0) WideCharToMultiByte(st->code_page, 0, text, wide_length, out, bytes, nullptr, nullptr);
    out[bytes] = 0;
    // A float that happens to be whole must still read as a float.
    if (add_point_zero && !memchr(out, '.', bytes)) memcpy(out + bytes, ".0", 3);
    return block;
}

}  // namespace

bool variant_to_integer(EngineState*, ValuePayload* value) {
    VARIANT number;
    if (!coerce(value->variant, VT_I4, &number)) return false;
    value->integer = number.lVal;
    value->flags |= VF_INT;
    return true;
}

bool variant_to_float(EngineState*, ValuePayload* value) {
    VARIANT number;
    if (!coerce(value->variant, VT_R8, &number)) return false;
    value->real = number.dblVal;
    value->flags |= VF_FLOAT;
    return true;
}

bool variant_to_string(EngineState* st, ValuePayload* value) {
    const VARTYPE type = value->variant.vt;
    uint32_t block;
    if (type == VT_NULL) {
        block = bstr_to_heap(st, nullptr, false);
    } else if (type == VT_BSTR) {
        block = bstr_to_heap(st, value->variant.bstrVal, false);
    } else {
        VARIANT text;
        if (!coerce(value->variant, VT_BSTR, &text)) return false;
        block = bstr_to_heap(st, text.bstrVal, type == VT_R4 || type == VT_R8);
        VariantClear(&text);
    }
    if (!block) return false;
    value->handle = block;
    value->flags |= VF_STRING;
    return true;
}

void variant_release(ValuePayload* value) {
    VariantClear(&value->variant);
    // VariantClear refuses unknown types; the record must read empty anyway.
    value->variant.vt = VT_EMPTY;
}

bool variant_copy(EngineState* st, const ValuePayload* source, ValuePayload* dest) {
    if (source == dest) return true;
    // dest still holds a bitwise copy of the source's VARIANT, which
    // VariantCopy would clear (releasing the source's object) if not reset.
    VariantInit(&dest->variant);
    HRESULT hr = VariantCopy(&dest->variant, const_cast<VARIANT*>(&source->variant));
    if (SUCCEEDED(hr)) return true;
    return raise(st, hr == DISP_E_BADVARTYPE ? Err::OleBadVarType : Err::OleTypeMismatch);
}

const char* variant_type_name(VARTYPE type) {
    for (const VariantName& entry : kVariantNames)
        if (entry.type == type) return entry.name;
    if (type == 0xFFFF) return "ILLEGAL";
    if ((type & VT_BYREF) && (type & VT_ARRAY)) return "BYREF|VT_ARRAY";
    if (type & VT_BYREF) return "BYREF";
    if (type & VT_ARRAY) return "ARRAY";
    if (type & VT_VECTOR) return "VECTOR";
    if (type & VT_RESERVED) return "RESERVED";
    return "<unknown>";
}
