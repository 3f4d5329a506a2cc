// Engine arrays: the block layout (header and element cells), creation,
// element numbering and the "[" subscripts "]" parser.
#pragma once

#include <stdint.h>
#include "base/exports.h"
#include "lang/value.h"

struct EngineState;

constexpr int ARRAY_MAX_DIMENSIONS = 5;

// The head of an array's global memory block; the cells follow it at once.
// 40 bytes on Win32; Win64 widens the element address and pads the rest.
struct ArrayHeader {
    uint32_t sizes[ARRAY_MAX_DIMENSIONS];  // 0 beyond the number of dimensions
    uint8_t dimensions;                    // 0..5
    uint8_t creation_flag;                 // CreateMyArray's flag; 0 for script arrays
    uint16_t zero;
    ArrayCell* elements;                   // right after this header
    uint32_t element_count;                // the product of the sizes
    uint32_t element_bytes;                // element_count * sizeof(ArrayCell)
    uint32_t reserved;
};

#if !defined(_WIN64)
static_assert(sizeof(ArrayHeader) == 40, "array header layout");
#endif

// False (ArrDimension's 1644) when an array of that many elements would
// reach 4e9 bytes.
bool array_size_allowed(double element_count);

// Creates an array of the first `count` sizes (later ones count as 0) into
// `target`, which is overwritten without being released. 1 for an array with
// dimensions, 0 for one of zero dimensions, -1 with the error raised.
KESTR_API int CreateMyArray(EngineState* st, Value* target, int32_t d1, int32_t d2, int32_t d3, int32_t d4,
                            int32_t d5, uint8_t flag, int32_t count);

// The array a value holds, or null (no ARRAY flag, or an array whose block
// has been taken away).
inline ArrayHeader* array_of(const ValuePayload& v) {
    return (v.flags & VF_ARRAY) ? reinterpret_cast<ArrayHeader*>(v.handle) : nullptr;
}

// Row-major element number of `subscripts` (one per dimension), in 32-bit
// unsigned arithmetic: the last subscript varies fastest.
uint32_t ElementIndex(const ArrayHeader* array, const int32_t* subscripts);

// An array that cells may be read from: 1710 for one of zero dimensions,
// 1637 for a missing header or element storage.
[[nodiscard]] bool check_array_body(EngineState* st, const ArrayHeader* array);
// The same for the array a function argument holds (an ARRAY value whose
// block may be gone).
[[nodiscard]] bool check_array_argument(EngineState* st, const ValuePayload& v, ArrayHeader** array);

// Parses "[" subscripts "]" at the current token ("[") and leaves the
// current token on "]"; *cell is the element they select. The array is
// held by one more share while its subscripts are evaluated.
[[nodiscard]] bool GetElement(EngineState* st, ArrayHeader* array, ArrayCell** cell);

// Replaces an element's value by a copy of `text` (3096 when the heap is full).
[[nodiscard]] bool set_cell_text(EngineState* st, ArrayCell* cell, const char* text, size_t length);

// How many holders an array has (the lock count of its block less one).
uint32_t array_share_count(const ArrayHeader* array);
