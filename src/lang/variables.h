// Variable tables: lookup, creation, assignment, table switching.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <windows.h>
#include "base/exports.h"
#include "lang/value.h"

struct EngineState;

constexpr uint16_t NO_SLOT = 0xFFFF;

// Exported lookup: slot index in the low 16 bits, 0xFFFF when not usable
// (3051 not found, 3052 found but never assigned).
KESTR_API uint32_t find_var(EngineState* st, const char* name, int report);
// The plain scan without errors; `name` is lower-cased on the way.
uint16_t FindSlot(EngineState* st, const char* name);
// Scan for an already lower-cased name of `length` bytes (the lexer's path).
uint16_t find_slot_lowered(EngineState* st, const char* name, size_t length);
// A new UNINITIALIZED slot for a lower-cased name (the highest empty slot
// below the used count first); NO_SLOT with 3097 when the table is full.
uint16_t create_slot(EngineState* st, const char* name, size_t length);
// Finds or creates; a new slot gets `new_flags` (INT after a prefix "&", so
// that a pointer to it can be taken) and the value -1.
uint16_t find_or_create_slot(EngineState* st, const char* name, size_t length,
                             uint32_t new_flags = VF_UNINITIALIZED);
// Empties a slot, releasing its value; the used count shrinks when it was the top.
void drop_slot(EngineState* st, uint16_t index);

// Folds a name handed in from outside the lexer into at most 30 lower-case bytes.
void FoldName(const char* name, char out[VARIABLE_NAME_BYTES]);

// The value of a variable as text; lookup errors are cleared and give false.
bool GetVariableText(EngineState* st, const char* name, char* buffer, size_t size);
// Creates or overwrites a variable. kind VF_INT: value points to an int32_t;
// VF_STRING: a NUL-terminated ANSI text; VF_UNICODE: a NUL-terminated UTF-16
// text; VF_ARRAY: the array handle (uintptr_t*), whose share the variable
// takes over.
[[nodiscard]] bool SetVariable(EngineState* st, const char* name, uint32_t kind, const void* value);
[[nodiscard]] bool set_variable_int(EngineState* st, const char* name, int32_t value);
[[nodiscard]] bool set_variable_text(EngineState* st, const char* name, const char* text);

// Slot access of the current table.
VariableSlot* slot_at(EngineState* st, uint16_t index);
// Whether `slot` of the current table holds the variable of that lower-cased
// name: the slot a lookup of the name would find.
bool slot_holds_name(EngineState* st, uint16_t slot, const char* name, size_t length);

// Table switching; every SwitchTable is paired with a RestoreTable.
struct TableSave {
    int32_t scope;
    VariableSlot* slots;  // the table left, still locked; null when it was not
};
[[nodiscard]] bool SwitchTable(EngineState* st, uint16_t id, TableSave* save);
[[nodiscard]] bool RestoreTable(EngineState* st, const TableSave* save);
// Fills registry entry `id` (below 101) for a table block and reserves its
// slot 0; the table is not made current. False when the block cannot be locked.
[[nodiscard]] bool register_table(EngineState* st, uint16_t id, HGLOBAL handle, uint16_t capacity);
// Attaches the host's main table (registry entry 0) and reserves slot 0.
[[nodiscard]] bool attach_main_table(EngineState* st, HGLOBAL handle, uint16_t capacity);
// Locks and unlocks the current table around an entry that works on variables.
[[nodiscard]] bool lock_current_table(EngineState* st);
void unlock_current_table(EngineState* st);

// What %name% substitution did to a line.
enum SubstituteOutcome : int {
    SUBSTITUTE_FAILED = 0,     // an error is set; the line is left as it was
    SUBSTITUTE_UNCHANGED = 1,  // nothing to substitute
    SUBSTITUTE_CHANGED = 2,    // something was substituted
};
// %name% substitution of one line in place.
SubstituteOutcome SubstituteLine(EngineState* st, char* line);
