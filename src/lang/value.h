// Operations on run-time values: creating, releasing and copying them, and
// the conversions between their representations.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <stdint.h>
#include "base/value_record.h"

struct EngineState;

// Mode bits of SetInteger / ReleaseValue / CopyValue.
enum ValueMode : uint32_t {
    VM_KEEP_VARIANT = 0x100,    // SetInteger/ReleaseValue: leave the VARIANT alone
    VM_TABLE_IN_ID = 0x100,     // CopyValue from a slot: the table id is in the id's high word
    VM_KEEP_ARRAY = 0x200,      // ReleaseValue: do not drop an array share
    VM_DUP_TEXT = 0x200,        // CopyValue: duplicate the texts
    VM_DUP_VARIANT = 0x400,     // CopyValue: independent copy of the VARIANT
    VM_SHARE_ARRAY = 0x800,     // CopyValue: add one share to an array
};

constexpr uint32_t copy_mode(RecordKind from, RecordKind to) { return from | (to << 4); }

inline bool has_int(const ValuePayload& v) { return (v.flags & VF_INT) != 0; }

// Fresh integer value (also how every new Value starts).
void SetInteger(ValuePayload* record, RecordKind kind, uint32_t mode, int32_t value);
// Frees what the record owns; the record may then be reused.
void ReleaseValue(EngineState* st, ValuePayload* record, RecordKind kind, uint32_t mode);
// Copies a value between records; mode = copy_mode(from, to) | VM_* bits.
[[nodiscard]] bool CopyValue(EngineState* st, const ValuePayload* source, ValuePayload* dest,
                             uint32_t source_id, uint32_t mode);

// Conversions add their representation beside the ones already held.
[[nodiscard]] bool ToInteger(EngineState* st, ValuePayload* value, bool allow_float);
[[nodiscard]] bool ToFloat(EngineState* st, ValuePayload* value);
[[nodiscard]] bool ToString(EngineState* st, ValuePayload* value);
[[nodiscard]] bool ToUnicode(EngineState* st, ValuePayload* value);

// The ANSI or wide text of a value that holds one (null otherwise).
const char* value_text(const EngineState* st, const ValuePayload& value);
const wchar_t* value_wtext(const EngineState* st, const ValuePayload& value);

// Stores a copy of text as the value's ANSI text (a new heap block).
[[nodiscard]] bool set_value_text(EngineState* st, ValuePayload* value, const char* text, size_t length);
[[nodiscard]] bool set_value_wtext(EngineState* st, ValuePayload* value, const wchar_t* text, size_t length);

// Text for a flag word: "INT", "STRING/FLOAT", "UNDEFINED" ...
void TypeName(uint32_t flags, VARTYPE variant_type, char* buffer, size_t size);

// Hooks of the COM layer: until it lands, a VARIANT converts through OLE's
// own coercion.
[[nodiscard]] bool variant_to_integer(EngineState* st, ValuePayload* value);
[[nodiscard]] bool variant_to_float(EngineState* st, ValuePayload* value);
[[nodiscard]] bool variant_to_string(EngineState* st, ValuePayload* value);
void variant_release(ValuePayload* value);
[[nodiscard]] bool variant_copy(EngineState* st, const ValuePayload* source, ValuePayload* dest);
const char* variant_type_name(VARTYPE type);

// Array share counting (owned by the array code).
void array_drop_share(EngineState* st, uintptr_t array);
void array_add_share(EngineState* st, uintptr_t array);
