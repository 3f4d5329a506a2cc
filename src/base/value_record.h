// Run-time value records: the payload shared by the three record kinds
// (variable slot, working value, array cell) and their binary layouts. The
// flag word's bits are public (kestr44i.h); the operations on values belong
// to the language (lang/value.h).
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <stddef.h>
#include <stdint.h>
#include "kestr44i.h"

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
