// Run-time values: the flag word, the shared payload and the three record
// kinds that carry it (variable slot, working value, array cell).
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <stdint.h>

struct EngineState;

// Value flags. FILE and BINBUF are integers with an extra bit, so every
// integer test looks at INT (0x1) alone.
enum ValueFlags : uint32_t {
    VF_UNDEFINED = 0,
    VF_INT = 0x1,
    VF_STRING = 0x2,
    VF_FILE_BIT = 0x4,
    VF_FILE = 0x1 | 0x4,
    VF_UNINITIALIZED = 0x8,
    VF_FLOAT = 0x20,
    VF_BINBUF_BIT = 0x40,
    VF_BINBUF = 0x1 | 0x40,
    VF_UNICODE = 0x80,
    VF_ARRAY = 0x100,
    VF_VARIANT = 0x200,
    VF_COMOBJ_BIT = 0x400,
    VF_COMOBJ = 0x200 | 0x400,
    VF_COMTEMP = 0x800,
    // Any of these makes a variable defined.
    VF_DEFINED_MASK = VF_INT | VF_STRING | VF_FLOAT | VF_UNICODE | VF_ARRAY | VF_VARIANT,
};

// Record kinds: every value operation names the kind of record it works on.
enum RecordKind : uint32_t {
    RK_SLOT = 1,   // VariableSlot
    RK_VALUE = 2,  // Value
    RK_CELL = 3,   // ArrayCell
};

// Origin fields of a working value.
constexpr uint16_t ORIGIN_NONE = 0xFFFF;
constexpr uint16_t ORIGIN_ARRAY_CELL = 0xFFFE;

struct ArrayHeader;

// The records are packed to 4 so that the 32-bit build keeps its binary
// layout (76-byte slots, 44-byte cells) despite the double; the 64-bit build
// keeps the same field order with natural pointer and VARIANT widths.
#pragma pack(push, 4)

struct ValuePayload {
    VARIANT variant;   // VT_EMPTY when it holds nothing
    double real;       // VF_FLOAT
    int32_t integer;   // VF_INT, VF_FILE, VF_BINBUF
    uint32_t flags;
    uintptr_t handle;  // heap offset of the ANSI text, or the ArrayHeader* of an array
    uint32_t whandle;  // heap offset of the UTF-16 text
};

constexpr size_t VARIABLE_NAME_BYTES = 31;  // 30 characters and the terminator
constexpr size_t VARIABLE_NAME_MAX = 30;
constexpr uint8_t VARMARK_GLOBAL = 0x1;     // declared global by PtrGlobalDefine

struct VariableSlot {
    ValuePayload v;
    uint32_t reserved;
    char name[VARIABLE_NAME_BYTES];  // lower case
    uint8_t marks;
};

struct Value {
    ValuePayload v;
    uint32_t reserved;
    void* origin_ref;       // ArrayCell* after reading an element
    uint16_t origin_index;  // variable slot, ORIGIN_ARRAY_CELL or ORIGIN_NONE
    uint16_t origin_table;  // variable-table id or ORIGIN_NONE
};

struct ArrayCell {
    ValuePayload v;
    uint32_t reserved;
};

#pragma pack(pop)

#if defined(_WIN64)
static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes on Win64");
static_assert(sizeof(VariableSlot) == 88, "variable slot layout");
static_assert(sizeof(ArrayCell) == 56, "array cell layout");
#else
static_assert(sizeof(VARIANT) == 16, "VARIANT is 16 bytes on Win32");
static_assert(sizeof(ValuePayload) == 40, "value payload layout");
static_assert(sizeof(VariableSlot) == 76, "variable slot layout");
static_assert(sizeof(Value) == 52, "working value layout");
static_assert(sizeof(ArrayCell) == 44, "array cell layout");
#endif

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
inline bool has_text(const ValuePayload& v) { return (v.flags & VF_STRING) != 0; }

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
