// Variable tables: name lookup and slot creation, folding of outside names,
// reading and setting variables by name, and the table registry.
#include "lang/variables.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/messages.h"
#include "lang/array_access.h"
#include "lang/numtext.h"
#include "lang/trace.h"

namespace {

// Positions a folded name wraps to once the 30 bytes are full.
constexpr size_t FOLD_WRAP_TO = 5;

// Lower-case mapping of the ANSI code page, one byte at a time as names are
// compared. Lead bytes of a double-byte code page map to themselves.
struct LowerTable {
    uint8_t map[256];
    LowerTable() {
        for (int i = 0; i < 256; ++i) {
            map[i] = static_cast<uint8_t>(i);
            if (i >= 'A' && i <= 'Z') map[i] = static_cast<uint8_t>(i + ('a' - 'A'));
            if (i < 0x80 || IsDBCSLeadByte(static_cast<BYTE>(i))) continue;
            char c = static_cast<char>(i);
            if (CharLowerBuffA(&c, 1) == 1) map[i] = static_cast<uint8_t>(c);
        }
    }
};

inline uint8_t lower_byte(uint8_t c) {
    static const LowerTable table;
    return table.map[c];
}

// A copy of name lower-cased from the second byte on when the first has its
// high bit set; false when the name is longer than any slot name can be.
bool lowered_copy(const char* name, char out[VARIABLE_NAME_BYTES], size_t* length) {
    size_t n = 0;
    for (; name[n]; ++n) {
        if (n == VARIABLE_NAME_MAX) return false;
        uint8_t c = static_cast<uint8_t>(name[n]);
        out[n] = static_cast<char>(n == 0 && (c & 0x80) ? c : lower_byte(c));
    }
    out[n] = '\0';
    *length = n;
    return true;
}

inline bool slot_is_empty(const VariableSlot& slot) { return slot.v.flags == 0; }

// Names are short: compared in place, a word and then a byte at a time,
// rather than by a library call.
inline bool slot_has_name(const VariableSlot& slot, const char* name, size_t length) {
    if (slot.name[0] != name[0] || slot.name[length] != '\0') return false;
    size_t i = 1;
    for (; i + 8 <= length; i += 8) {
        uint64_t a, b;
        memcpy(&a, slot.name + i, 8);
        memcpy(&b, name + i, 8);
        if (a != b) return false;
    }
    for (; i < length; ++i)
        if (slot.name[i] != name[i]) return false;
    return true;
}

// Slot 0 is the reserved scratch slot: set up as UNINITIALIZED with an empty
// name and the value word -1.
void reserve_slot_zero(VariableSlot* slots) {
    memset(&slots[0], 0, sizeof slots[0]);
    slots[0].v.integer = -1;
    slots[0].v.flags = VF_UNINITIALIZED;
}

// Hands out slot `index` (an empty slot, or the one at the used count) for a
// new UNINITIALIZED variable. The top slot of a table is never handed out:
// creation fails once the used count would reach the capacity. The count is
// left unchanged on that failure, so the table stays exactly as it was.
uint16_t claim_slot(EngineState* st, uint16_t index, const char* name, size_t length,
                    uint32_t flags = VF_UNINITIALIZED) {
    CurrentTable& t = st->table;
    if (index == t.used) {
        if (t.used + 1u >= t.capacity) {
            raise(st, Err::OutOfVariableMemory);
            return NO_SLOT;
        }
        ++t.used;
    }
    VariableSlot& slot = t.slots[index];
    memset(&slot, 0, sizeof slot);
    memcpy(slot.name, name, length);
    slot.v.integer = -1;
    slot.v.flags = flags;
    return index;
}

uint16_t highest_empty_slot(const CurrentTable& t) {
    for (uint16_t i = t.used; i-- > 1;) {
        if (slot_is_empty(t.slots[i])) return i;
    }
    return t.used;
}

bool valid_new_name(EngineState* st, size_t length) {
    if (length >= 1 && length <= VARIABLE_NAME_MAX) return true;
    return raise(st, Err::NameTooLong);
}

bool structure_running(const EngineState* st) {
    return st->structure_depth <= 0 || st->frames[st->structure_depth - 1].state == 0;
}

void report_uninitialized(EngineState* st, const char* name) {
    trace_variable_error(st, name);
    char message[256];
    message_text(st, static_cast<int>(Err::UninitializedVariableColon), message, sizeof message);
    char text[LINE_BUFFER_BYTES];
    snprintf(text, sizeof text, "%s\n\n    %.1024s", message, name);
    AddErrorInfo(st, text);
}

}  // namespace

// ---------------------------------------------------------------- lookup

uint16_t find_slot_lowered(EngineState* st, const char* name, size_t length) {
    if (length == 0 || length > VARIABLE_NAME_MAX) return NO_SLOT;
    const VariableSlot* slots = st->table.slots;
    const uint16_t used = st->table.used;
    // Slot 0 is skipped: its name is either empty or the dereference scratch
    // name, which must never be found.
    for (uint16_t i = 1; i < used; ++i) {
        if (slot_has_name(slots[i], name, length) && !slot_is_empty(slots[i])) return i;
    }
    return NO_SLOT;
}

uint16_t FindSlot(EngineState* st, const char* name) {
    char lowered[VARIABLE_NAME_BYTES];
    size_t length;
    if (!lowered_copy(name, lowered, &length)) return NO_SLOT;
    return find_slot_lowered(st, lowered, length);
}

uint32_t find_var(EngineState* st, const char* name, int report) {
    uint16_t index = FindSlot(st, name);
    if (index == NO_SLOT) {
        raise(st, Err::UndefinedVariable);
        return NO_SLOT;
    }
    if ((st->table.slots[index].v.flags & VF_DEFINED_MASK) == 0) {
        bool first = st->error == 0;
        raise(st, Err::UninitializedVariable);
        if (report && first && structure_running(st)) report_uninitialized(st, name);
        return NO_SLOT;
    }
    return index;
}

// ---------------------------------------------------------------- creation

uint16_t create_slot(EngineState* st, const char* name, size_t length) {
    if (!valid_new_name(st, length)) return NO_SLOT;
    return claim_slot(st, highest_empty_slot(st->table), name, length);
}

uint16_t find_or_create_slot(EngineState* st, const char* name, size_t length, uint32_t new_flags) {
    if (!valid_new_name(st, length)) return NO_SLOT;
    const VariableSlot* slots = st->table.slots;
    const uint16_t used = st->table.used;
    uint16_t empty = used;
    // One pass finds the name and notes the highest empty slot on the way.
    for (uint16_t i = 1; i < used; ++i) {
        if (slot_is_empty(slots[i])) {
            empty = i;
        } else if (slot_has_name(slots[i], name, length)) {
            return i;
        }
    }
    return claim_slot(st, empty, name, length, new_flags);
}

void drop_slot(EngineState* st, uint16_t index) {
    CurrentTable& t = st->table;
    if (index == 0 || index >= t.used) return;
    VariableSlot& slot = t.slots[index];
    ReleaseValue(st, &slot.v, RK_SLOT, 0);
    memset(&slot, 0, sizeof slot);
    // Only the top slot gives its place back; empty slots below it stay
    // counted and are reused by later creations.
    if (index == t.used - 1) --t.used;
}

VariableSlot* slot_at(EngineState* st, uint16_t index) { return &st->table.slots[index]; }

// Names are unique within a table, so the slot that has it is the one found.
bool slot_holds_name(EngineState* st, uint16_t slot, const char* name, size_t length) {
    if (slot == 0 || slot >= st->table.used || length == 0) return false;
    const VariableSlot& s = st->table.slots[slot];
    return !slot_is_empty(s) && slot_has_name(s, name, length);
}

// ---------------------------------------------------------------- names from outside

void FoldName(const char* name, char out[VARIABLE_NAME_BYTES]) {
    memset(out, 0, VARIABLE_NAME_BYTES);
    if (!name[0]) return;
    uint8_t first = static_cast<uint8_t>(name[0]);
    out[0] = static_cast<char>(first & 0x80 ? first : lower_byte(first));
    size_t position = 0;
    for (const char* p = name + 1; *p; ++p) {
        position = position + 1 < VARIABLE_NAME_MAX ? position + 1 : FOLD_WRAP_TO;
        // Positions are all written once before the first wrap, so an
        // occupied position is simply a non-first pass over it.
        out[position] = static_cast<char>(static_cast<uint8_t>(out[position]) +
                                          lower_byte(static_cast<uint8_t>(*p)));
    }
}

namespace {

bool copy_out(const char* text, char* buffer, size_t size) {
    lstrcpynA(buffer, text, static_cast<int>(size));
    return true;
}

// A text too long for the buffer is cut as the ANSI path cuts it; the
// conversion itself leaves nothing usable in a short buffer.
bool wide_text_out(const EngineState* st, const wchar_t* text, char* buffer, size_t size) {
    int needed = WideCharToMultiByte(st->code_page, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    if (static_cast<size_t>(needed) <= size)
        return WideCharToMultiByte(st->code_page, 0, text, -1, buffer, needed, nullptr, nullptr) > 0;
    HGLOBAL block = GlobalAlloc(GPTR, static_cast<SIZE_T>(needed));
    if (!block) return false;
    char* whole = static_cast<char*>(GlobalLock(block));
    bool ok = WideCharToMultiByte(st->code_page, 0, text, -1, whole, needed, nullptr, nullptr) > 0;
    if (ok) copy_out(whole, buffer, size);
    GlobalUnlock(block);
    GlobalFree(block);
    return ok;
}

// The COM layer converts into heap texts of a scratch copy; the VARIANT is
// only borrowed, so nothing but those texts is freed.
bool variant_text_out(EngineState* st, const ValuePayload& v, char* buffer, size_t size) {
    ValuePayload scratch = v;
    scratch.flags = VF_VARIANT;
    scratch.handle = 0;
    scratch.whandle = 0;
    bool ok = variant_to_string(st, &scratch);
    const char* text = ok ? value_text(st, scratch) : nullptr;
    if (text) copy_out(text, buffer, size);
    if (scratch.handle) VFree(st, static_cast<uint32_t>(scratch.handle));
    if (scratch.whandle) VFree(st, scratch.whandle);
    return text != nullptr;
}

bool payload_text(EngineState* st, const ValuePayload& v, char* buffer, size_t size) {
    if (v.flags & VF_ARRAY) return copy_out("<array>", buffer, size);
    if ((v.flags & VF_STRING) && v.handle) return copy_out(heap_text(st, v.handle), buffer, size);
    if ((v.flags & VF_UNICODE) && v.whandle) return wide_text_out(st, heap_wtext(st, v.whandle), buffer, size);
    if (v.flags & VF_INT) {
        char digits[INT_TEXT_BYTES];
        IntToText(v.integer, digits, 10);
        return copy_out(digits, buffer, size);
    }
    if (v.flags & VF_FLOAT) {
        char digits[FLOAT_TEXT_BYTES];
        return FloatToText(st, v.real, digits) && copy_out(digits, buffer, size);
    }
    if (v.flags & VF_VARIANT) return variant_text_out(st, v, buffer, size);
    return false;
}

// "name[subscripts]": the text of the element the subscripts select.
bool element_text(EngineState* st, const ValuePayload& array, const char* subscripts, char* buffer,
                  size_t size) {
    ArrayCell* cell;
    return holds_subscriptable(array) && element_by_subscript_text(st, array, subscripts, &cell) &&
           payload_text(st, cell->v, buffer, size);
}

}  // namespace

bool GetVariableText(EngineState* st, const char* name, char* buffer, size_t size) {
    if (size == 0) return false;
    const char* subscripts = strchr(name, '[');
    char base[LINE_BUFFER_BYTES];
    if (subscripts) {
        const size_t length = static_cast<size_t>(subscripts - name);
        if (length >= sizeof base) return false;
        memcpy(base, name, length);
        base[length] = '\0';
        name = base;
    }
    char folded[VARIABLE_NAME_BYTES];
    FoldName(name, folded);
    uint16_t index = find_slot_lowered(st, folded, strlen(folded));
    if (index == NO_SLOT) return false;
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    const ValuePayload& v = st->table.slots[index].v;
    bool ok = subscripts ? element_text(st, v, subscripts, buffer, size) : payload_text(st, v, buffer, size);
    // The subscripts' own errors may have left additional text behind.
    if (aside.pending() == 0 && st->error != 0) free_error_info(st);
    return ok;
}

// ---------------------------------------------------------------- setting by name

namespace {

// The new value is stored in the heap before the old one is released: the
// text handed in may well be the variable's own current text.
bool new_payload(EngineState* st, uint32_t kind, const void* value, ValuePayload* out) {
    memset(out, 0, sizeof *out);
    out->flags = kind;
    switch (kind) {
    case VF_INT:
        out->integer = *static_cast<const int32_t*>(value);
        return true;
    case VF_STRING: {
        const char* text = static_cast<const char*>(value);
        out->handle = heap_copy_text(st, text, strlen(text));
        return out->handle || raise(st, Err::OutOfStringMemory);
    }
    case VF_UNICODE: {
        const wchar_t* text = static_cast<const wchar_t*>(value);
        out->whandle = heap_copy_wtext(st, text, wcslen(text));
        return out->whandle || raise(st, Err::OutOfStringMemory);
    }
    case VF_ARRAY:
        // The variable takes over the caller's share of the array.
        out->handle = *static_cast<const uintptr_t*>(value);
        return true;
    default:
        return false;
    }
}

void discard_payload(EngineState* st, ValuePayload* payload) {
    if (payload->flags == VF_STRING && payload->handle) VFree(st, static_cast<uint32_t>(payload->handle));
    if (payload->whandle) VFree(st, payload->whandle);
}

}  // namespace

bool SetVariable(EngineState* st, const char* name, uint32_t kind, const void* value) {
    char folded[VARIABLE_NAME_BYTES];
    FoldName(name, folded);
    ValuePayload payload;
    CHECK(new_payload(st, kind, value, &payload));
    uint16_t index = find_or_create_slot(st, folded, strlen(folded));
    if (index == NO_SLOT) {
        discard_payload(st, &payload);
        return false;
    }
    VariableSlot& slot = st->table.slots[index];
    ReleaseValue(st, &slot.v, RK_SLOT, 0);
    slot.v = payload;
    return true;
}

bool set_variable_int(EngineState* st, const char* name, int32_t value) {
    return SetVariable(st, name, VF_INT, &value);
}

bool set_variable_text(EngineState* st, const char* name, const char* text) {
    return SetVariable(st, name, VF_STRING, text);
}

// ---------------------------------------------------------------- table registry

bool register_table(EngineState* st, uint16_t id, HGLOBAL handle, uint16_t capacity) {
    if (id >= VARIABLE_TABLES || !handle || capacity == 0) return false;
    auto* slots = static_cast<VariableSlot*>(GlobalLock(handle));
    if (!slots) return false;
    reserve_slot_zero(slots);
    GlobalUnlock(handle);
    VariableScope& scope = st->scopes[id];
    scope.id = id;
    scope.handle = handle;
    scope.sequence = ++st->instance_counter;
    scope.created = GetTickCount();
    scope.capacity = capacity;
    scope.used = 1;
    return true;
}

namespace {

void load_current(EngineState* st, uint16_t id, VariableSlot* slots) {
    const VariableScope& scope = st->scopes[id];
    CurrentTable& t = st->table;
    t.id = id;
    t.handle = scope.handle;
    t.sequence = scope.sequence;
    t.created = scope.created;
    t.capacity = scope.capacity;
    t.used = scope.used;
    t.slots = slots;
    st->current_scope = id;
}

bool valid_scope(const EngineState* st, int32_t id) {
    return id >= 0 && id < VARIABLE_TABLES && st->scopes[id].handle;
}

}  // namespace

// The table switched from stays locked until it is current again, so that
// coming back costs no lock of the host's movable block (each lock takes
// the process heap's lock); a failed lock leaves the previous table
// current and usable.
bool SwitchTable(EngineState* st, uint16_t id, TableSave* save) {
    save->scope = st->current_scope;
    save->slots = st->table.slots;
    if (!valid_scope(st, id)) return raise(st, Err::PointerAccessFailed);
    auto* slots = static_cast<VariableSlot*>(GlobalLock(st->scopes[id].handle));
    if (!slots) return raise(st, Err::PointerAccessFailed);
    st->scopes[st->current_scope].used = st->table.used;
    load_current(st, id, slots);
    return true;
}

bool RestoreTable(EngineState* st, const TableSave* save) {
    if (!valid_scope(st, save->scope)) return raise(st, Err::VariableTableError);
    VariableSlot* slots = save->slots;
    if (!slots) {
        slots = static_cast<VariableSlot*>(GlobalLock(st->scopes[save->scope].handle));
        if (!slots) return raise(st, Err::VariableTableError);
    }
    st->scopes[st->current_scope].used = st->table.used;
    if (st->table.slots) GlobalUnlock(st->table.handle);
    load_current(st, static_cast<uint16_t>(save->scope), slots);
    return true;
}

bool attach_main_table(EngineState* st, HGLOBAL handle, uint16_t capacity) {
    CHECK(register_table(st, 0, handle, capacity));
    load_current(st, 0, nullptr);
    return true;
}

bool lock_current_table(EngineState* st) {
    if (!st->table.handle) return false;
    auto* slots = static_cast<VariableSlot*>(GlobalLock(st->table.handle));
    if (!slots) return false;
    st->table.slots = slots;
    return true;
}

void unlock_current_table(EngineState* st) {
    if (!st->table.slots) return;
    st->scopes[st->current_scope].used = st->table.used;
    // Entries nest (a dialog callback inside a run); the slot pointer stays
    // valid until the outermost unlock.
    if (!GlobalUnlock(st->table.handle)) st->table.slots = nullptr;
}
