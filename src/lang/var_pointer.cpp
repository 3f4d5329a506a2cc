// Variable pointers: building "#VAR$PTR#" texts, parsing and validating them
// against the table registry, and reaching the variable they name.
#include "lang/var_pointer.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/numtext.h"

namespace {

constexpr char POINTER_MARKER[] = "#VAR$PTR#";
constexpr size_t MARKER_LENGTH = sizeof POINTER_MARKER - 1;
constexpr size_t ID_DIGITS = 4;
constexpr size_t WORD_DIGITS = 8;
constexpr size_t NAME_OFFSET = MARKER_LENGTH + ID_DIGITS + 3 * WORD_DIGITS;

static_assert(NAME_OFFSET + 1 == POINTER_TEXT_MIN, "shortest pointer has a one-character name");
static_assert(NAME_OFFSET + VARIABLE_NAME_MAX == POINTER_TEXT_MAX, "longest pointer has a full name");

enum class Decoded { Valid, NotPointer, Invalid };

// Only the low 32 bits of a table handle travel in the text (all a Win32
// handle has); on Win64 the registry is compared on those bits alone.
inline uint32_t handle_bits(HGLOBAL handle) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)); }

// One hexadecimal field. A character that is not a hex digit comes back as
// the radix reader's -2, which no registry entry matches.
uint32_t hex_field(const char* text, size_t digits) {
    char field[WORD_DIGITS + 1];
    memcpy(field, text, digits);
    field[digits] = '\0';
    return static_cast<uint32_t>(TextToIntRadix(field, 16));
}

// Lower-cased as variable names are, except a first byte with its high bit set.
void lowered_name(const char* name, size_t length, char out[VARIABLE_NAME_BYTES]) {
    memcpy(out, name, length);
    out[length] = '\0';
    size_t first = (static_cast<uint8_t>(out[0]) & 0x80) ? 1 : 0;
    if (length > first) CharLowerBuffA(out + first, static_cast<DWORD>(length - first));
}

bool names_live_table(const EngineState* st, const VariablePointer& ptr) {
    if (ptr.table >= VARIABLE_TABLES) return false;
    const VariableScope& scope = st->scopes[ptr.table];
    return scope.handle && handle_bits(scope.handle) == handle_bits(ptr.handle) &&
           scope.sequence == ptr.sequence && scope.created == ptr.created;
}

Decoded decode_pointer(const EngineState* st, const char* text, VariablePointer* out) {
    size_t length = strlen(text);
    if (length < POINTER_TEXT_MIN || length > POINTER_TEXT_MAX) return Decoded::NotPointer;
    if (memcmp(text, POINTER_MARKER, MARKER_LENGTH) != 0) return Decoded::NotPointer;
    const char* field = text + MARKER_LENGTH;
    uint32_t table = hex_field(field, ID_DIGITS);
    field += ID_DIGITS;
    out->handle = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(hex_field(field, WORD_DIGITS)));
    out->sequence = hex_field(field + WORD_DIGITS, WORD_DIGITS);
    out->created = hex_field(field + 2 * WORD_DIGITS, WORD_DIGITS);
    // An id field that is not hex reads as a huge number and fails the range test.
    out->table = table < VARIABLE_TABLES ? static_cast<uint16_t>(table) : static_cast<uint16_t>(VARIABLE_TABLES);
    lowered_name(text + NAME_OFFSET, length - NAME_OFFSET, out->name);
    return names_live_table(st, *out) ? Decoded::Valid : Decoded::Invalid;
}

}  // namespace

bool parse_variable_pointer(EngineState* st, const char* text, VariablePointer* out) {
    switch (decode_pointer(st, text, out)) {
    case Decoded::Valid:
        return true;
    case Decoded::NotPointer:
        return raise(st, Err::NotVariablePointer);
    case Decoded::Invalid:
        break;
    }
    return raise(st, Err::InvalidVariablePointer);
}

bool is_variable_pointer_text(EngineState* st, const char* text) {
    VariablePointer ptr;
    if (decode_pointer(st, text, &ptr) != Decoded::Valid) return false;
    if (ptr.table == st->table.id) return find_slot_lowered(st, ptr.name, strlen(ptr.name)) != NO_SLOT;
    // The lexer asks this while reading a word: whatever the table switch
    // raises is not the script's error.
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    TableSave save;
    uint16_t slot = NO_SLOT;
    return enter_pointer_table(st, ptr, &save, &slot) && RestoreTable(st, &save);
}

bool make_pointer_value(EngineState* st, uint16_t slot, Value* out) {
    const CurrentTable& t = st->table;
    char text[POINTER_TEXT_MAX + 8];
    int length = snprintf(text, sizeof text, "%s%04X%08lX%08lX%08lX%s", POINTER_MARKER, t.id,
                          static_cast<unsigned long>(handle_bits(t.handle)),
                          static_cast<unsigned long>(t.sequence), static_cast<unsigned long>(t.created),
                          t.slots[slot].name);
    return set_value_text(st, &out->v, text, static_cast<size_t>(length));
}

bool enter_pointer_table(EngineState* st, const VariablePointer& ptr, TableSave* save, uint16_t* slot) {
    CHECK(SwitchTable(st, ptr.table, save));
    *slot = find_slot_lowered(st, ptr.name, strlen(ptr.name));
    if (*slot != NO_SLOT) return true;
    raise(st, Err::PointerTargetUninitialized);
    (void)RestoreTable(st, save);
    return false;
}

bool read_via_pointer(EngineState* st, const char* text, Value* result) {
    VariablePointer ptr;
    CHECK(parse_variable_pointer(st, text, &ptr));
    TableSave save;
    uint16_t slot;
    CHECK(enter_pointer_table(st, ptr, &save, &slot));
    // The text may live in result itself: it is released only now that the
    // pointer has been decoded.
    ReleaseValue(st, &result->v, RK_VALUE, 0);
    bool copied = CopyValue(st, &slot_at(st, slot)->v, &result->v, slot,
                            copy_mode(RK_SLOT, RK_VALUE) | VM_DUP_TEXT | VM_SHARE_ARRAY);
    bool restored = RestoreTable(st, &save);
    if (copied && restored) return true;
    ReleaseValue(st, &result->v, RK_VALUE, 0);
    SetInteger(&result->v, RK_VALUE, 0, 0);
    return false;
}
