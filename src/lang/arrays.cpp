// Engine arrays: creation (CreateMyArray), element numbering, the checks
// every array operation starts with, and GetElement's subscript parser.
#include "lang/arrays.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/fast_expression.h"
#include "lang/lexer.h"

namespace {

// Block size limit, computed in floating point so that no product of five
// 32-bit sizes can wrap before it is compared.
constexpr double ARRAY_BYTES_LIMIT = 4e9;

// Validates the sizes and counts the dimensions: the position of the last
// nonzero size, with no zero size before it.
bool count_dimensions(EngineState* st, const int32_t* sizes, uint8_t* dimensions) {
    int last = 0;
    for (int i = 0; i < ARRAY_MAX_DIMENSIONS; ++i) {
        if (sizes[i] < 0) return raise(st, Err::ArrDimensionBadDim);
        if (sizes[i] != 0) last = i + 1;
    }
    for (int i = 0; i < last; ++i) {
        if (sizes[i] == 0) return raise(st, Err::ArrDimensionZeroBeforeNonZero);
    }
    *dimensions = static_cast<uint8_t>(last);
    return true;
}

bool allocate_array(EngineState* st, const int32_t* sizes, uint8_t dimensions, uint8_t flag, ArrayHeader** out) {
    double count = dimensions ? 1.0 : 0.0;
    for (int i = 0; i < dimensions; ++i) count *= sizes[i];
    if (!array_size_allowed(count))
        return raise(st, Err::ArrDimensionTooLarge);
    const uint32_t element_count = static_cast<uint32_t>(count);
    const SIZE_T element_bytes = static_cast<SIZE_T>(element_count) * sizeof(ArrayCell);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(ArrayHeader) + element_bytes);
    if (!block) return raise(st, Err::ArrDimensionAllocFailed);
    auto* array = static_cast<ArrayHeader*>(GlobalLock(block));
    if (!array) {
        GlobalFree(block);
        return raise(st, Err::ArrDimensionAllocFailed);
    }
    // The first lock is the block's own and keeps it in place; the second
    // is the creating value's share. A lock count of 2 thus means one holder.
    GlobalLock(block);
    for (int i = 0; i < dimensions; ++i) array->sizes[i] = static_cast<uint32_t>(sizes[i]);
    array->dimensions = dimensions;
    array->creation_flag = flag;
    array->elements = reinterpret_cast<ArrayCell*>(array + 1);
    array->element_count = element_count;
    array->element_bytes = static_cast<uint32_t>(element_bytes);
    *out = array;
    return true;
}

inline bool at(const EngineState* st, uint16_t id) { return st->lexer.kind == TK_KEYWORD && st->lexer.id == id; }

// One subscript: the expression after "[" or ",", which must be followed by
// "," or "]" and be a number (a float is rounded).
bool read_subscript(EngineState* st, int32_t* subscript) {
    get_token(st);
    if (st->error) return false;
    Value v;
    init_value(&v);
    if (!ProcessSubExpression(st, &v, 0, 0)) {
        release_value(st, &v);
        return false;
    }
    bool ok = (at(st, KWID_COMMA) || at(st, KWID_CLOSE_BRACKET)) || raise(st, Err::ArraySyntax);
    if (ok && !ToInteger(st, &v.v, true)) ok = raise(st, Err::ArraySubscriptNotNumeric);
    *subscript = v.v.integer;
    release_value(st, &v);
    return ok;
}

// The subscripts up to "]", each checked against its own dimension.
bool read_subscripts(EngineState* st, const ArrayHeader* array, int32_t* subscripts) {
    int n = 0;
    for (;;) {
        int32_t s;
        CHECK(read_subscript(st, &s));
        if (n >= array->dimensions) return raise(st, Err::ArrayWrongDimCount);
        if (s < 0 || static_cast<uint32_t>(s) >= array->sizes[n]) return raise(st, Err::ArraySubscriptOutOfBounds);
        subscripts[n++] = s;
        if (at(st, KWID_CLOSE_BRACKET)) break;
    }
    return n == array->dimensions || raise(st, Err::ArrayWrongDimCount);
}

}  // namespace

bool array_size_allowed(double element_count) {
    // Reckoned in the 32-bit records (44-byte cells, a 40-byte header) on
    // both targets, so that a script's largest array is the same.
    constexpr double CELL_RECORD_BYTES = 44;
    constexpr double HEADER_RECORD_BYTES = 40;
    return element_count * CELL_RECORD_BYTES + HEADER_RECORD_BYTES < ARRAY_BYTES_LIMIT;
}

int CreateMyArray(EngineState* st, Value* target, int32_t d1, int32_t d2, int32_t d3, int32_t d4, int32_t d5,
                  uint8_t flag, int32_t count) {
    int32_t sizes[ARRAY_MAX_DIMENSIONS] = {d1, d2, d3, d4, d5};
    for (int i = count < 0 ? 0 : count; i < ARRAY_MAX_DIMENSIONS; ++i) sizes[i] = 0;
    uint8_t dimensions = 0;
    ArrayHeader* array = nullptr;
    if (!count_dimensions(st, sizes, &dimensions) || !allocate_array(st, sizes, dimensions, flag, &array))
        return -1;
    SetInteger(&target->v, RK_VALUE, 0, 0);
    target->v.flags = VF_ARRAY;
    target->v.handle = reinterpret_cast<uintptr_t>(array);
    return dimensions ? 1 : 0;
}

uint32_t ElementIndex(const ArrayHeader* array, const int32_t* subscripts) {
    uint32_t index = 0;
    for (int i = 0; i < array->dimensions; ++i)
        index = index * array->sizes[i] + static_cast<uint32_t>(subscripts[i]);
    return index;
}

bool check_array_body(EngineState* st, const ArrayHeader* array) {
    if (!array) return raise(st, Err::ArrayAccessError);
    if (array->dimensions == 0) return raise(st, Err::ArrayEmpty);
    return array->elements != nullptr || raise(st, Err::ArrayAccessError);
}

bool check_array_argument(EngineState* st, const ValuePayload& v, ArrayHeader** array) {
    *array = array_of(v);
    return check_array_body(st, *array);
}

bool GetElement(EngineState* st, ArrayHeader* array, ArrayCell** cell) {
    *cell = nullptr;
    CHECK(check_array_body(st, array));
    // A subscript may run anything, Drop of the array's last variable
    // included; an extra share then keeps the block alive until it is known.
    // Subscripts of names, numbers and integer operators run nothing and
    // need no guard. Either way, an array with no holder besides the guard
    // is gone.
    const uintptr_t handle = reinterpret_cast<uintptr_t>(array);
    const uint32_t guard = kept_subscripts_run_nothing(st) ? 0 : 1;
    if (guard) array_add_share(st, handle);
    int32_t subscripts[ARRAY_MAX_DIMENSIONS];
    bool ok = read_subscripts(st, array, subscripts);
    if (array_share_count(array) <= guard) ok = raise(st, Err::ArrayAccessError);
    if (guard) array_drop_share(st, handle);
    CHECK(ok);
    const uint32_t index = ElementIndex(array, subscripts);
    if (index >= array->element_count) return raise(st, Err::ArraySubscriptOutOfBounds);
    *cell = array->elements + index;
    return true;
}

bool set_cell_text(EngineState* st, ArrayCell* cell, const char* text, size_t length) {
    // Copied before the old value goes: the text may be the cell's own.
    const uint32_t block = heap_copy_text(st, text, length);
    if (!block) return raise(st, Err::OutOfStringMemory);
    ReleaseValue(st, &cell->v, RK_CELL, 0);
    SetInteger(&cell->v, RK_CELL, 0, 0);
    cell->v.flags = VF_STRING;
    cell->v.handle = block;
    return true;
}
