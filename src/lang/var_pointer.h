// Variable pointers: "#VAR$PTR#" texts naming a variable in one particular
// variable table, validated on every use.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "lang/value.h"
#include "lang/variables.h"

struct EngineState;

constexpr size_t POINTER_TEXT_MIN = 38;
constexpr size_t POINTER_TEXT_MAX = 67;

struct VariablePointer {
    uint16_t table;
    HGLOBAL handle;
    uint32_t sequence;
    uint32_t created;
    char name[VARIABLE_NAME_BYTES];  // lower case
};

// Parses and validates a pointer text (3813 not a pointer, 3814 invalid).
[[nodiscard]] bool parse_variable_pointer(EngineState* st, const char* text, VariablePointer* out);
// True when `text` is a valid pointer that names an existing variable; sets no error.
bool is_variable_pointer_text(EngineState* st, const char* text);
// Stores the pointer text of slot `slot` of the current table into `out` as a
// new heap text (3096 when the heap is full).
[[nodiscard]] bool make_pointer_value(EngineState* st, uint16_t slot, Value* out);
// Makes the pointer's table current and finds its slot (3815, 3817); on
// success the caller works on *slot and then calls RestoreTable(st, save)
// (3816 on failure). On failure the previous table is already current again.
[[nodiscard]] bool enter_pointer_table(EngineState* st, const VariablePointer& ptr, TableSave* save,
                                       uint16_t* slot);
// Copies the variable a pointer text names into result (texts duplicated,
// an array shared).
[[nodiscard]] bool read_via_pointer(EngineState* st, const char* text, Value* result);
