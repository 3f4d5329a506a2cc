// Array sharing: every holder of an array is one lock on its global memory
// block, beside the block's own lock, and the array is destroyed when the
// last holder lets go.
//
// The system keeps a block's lock count in one byte and stops counting at
// 255, so an array shared by more than 253 holders at once can no longer
// be counted; that limit is kept with the layout.
#include "lang/arrays.h"

#include "base/engine_state.h"

namespace {

inline HGLOBAL block_of(uintptr_t array) { return GlobalHandle(reinterpret_cast<const void*>(array)); }

inline UINT lock_count(HGLOBAL block) { return GlobalFlags(block) & GMEM_LOCKCOUNT; }

void destroy_array(EngineState* st, ArrayHeader* array, HGLOBAL block) {
    for (uint32_t i = 0; i < array->element_count; ++i) ReleaseValue(st, &array->elements[i].v, RK_CELL, 0);
    // A variable still naming the array keeps its ARRAY flag with no block,
    // which every array operation reports as inaccessible data.
    const uintptr_t handle = reinterpret_cast<uintptr_t>(array);
    if (VariableSlot* slots = st->table.slots) {
        for (uint16_t i = 0; i < st->table.used; ++i) {
            if ((slots[i].v.flags & VF_ARRAY) && slots[i].v.handle == handle) slots[i].v.handle = 0;
        }
    }
    for (UINT locks = lock_count(block); locks > 0; --locks) GlobalUnlock(block);
    GlobalFree(block);
}

}  // namespace

void array_add_share(EngineState*, uintptr_t array) {
    if (HGLOBAL block = block_of(array)) GlobalLock(block);
}

void array_drop_share(EngineState* st, uintptr_t array) {
    HGLOBAL block = block_of(array);
    if (!block) return;
    if (lock_count(block) >= 3) {
        GlobalUnlock(block);
        return;
    }
    destroy_array(st, reinterpret_cast<ArrayHeader*>(array), block);
}

uint32_t array_share_count(const ArrayHeader* array) {
    HGLOBAL block = block_of(reinterpret_cast<uintptr_t>(array));
    const UINT locks = block ? lock_count(block) : 0;
    return locks ? locks - 1 : 0;
}
