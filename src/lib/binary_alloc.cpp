// Binary buffers: allocation (plain and from an array), release, the end
// of data, buffer information and the OLE type mark.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/arrays.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"

namespace {

constexpr int32_t OLE_TYPE_LIMIT = 399;
constexpr int32_t OLE_DATA_TYPES = 11;

// The first free slot with a locked, zero-filled block of `size` bytes;
// null after raising 3024 or 1126.
BinaryBufferEntry* new_buffer(EngineState* st, int32_t size) {
    BinaryBufferEntry* slot = nullptr;
    for (BinaryBufferEntry& b : st->binbufs) {
        if (!b.handle) {
            slot = &b;
            break;
        }
    }
    if (!slot) {
        raise(st, Err::BinaryTooManyHandles);
        return nullptr;
    }
    if (size < 0) {
        raise(st, Err::BinaryAllocFailed);
        return nullptr;
    }
    // A block of no bytes cannot be locked; a one-byte block stands in.
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size ? static_cast<SIZE_T>(size) : 1);
    void* data = memory ? GlobalLock(memory) : nullptr;
    if (!data) {
        if (memory) GlobalFree(memory);
        raise(st, Err::BinaryAllocFailed);
        return nullptr;
    }
    *slot = BinaryBufferEntry{};
    slot->handle = memory;
    slot->data = static_cast<uint8_t*>(data);
    slot->size = static_cast<uint32_t>(size);
    return slot;
}

void set_handle_result(EngineState* st, Value* result, const BinaryBufferEntry* b) {
    result->v.integer = binary_slot(st, b) + BINBUF_HANDLE_BASE;
    result->v.flags = VF_BINBUF;
}

// BinaryAlloc(size)
BUILTIN(bin_alloc) {
    if (BinaryBufferEntry* b = new_buffer(st, args[1].v.integer)) set_handle_result(st, result, b);
}

// The kinds of array element a buffer can hold, and their widths.
enum class ElementKind { None, Integer, Float };

ElementKind element_kind(const ValuePayload& v) {
    if (v.flags & (VF_STRING | VF_UNICODE | VF_ARRAY | VF_VARIANT)) return ElementKind::None;
    if (v.flags & VF_INT) return ElementKind::Integer;
    if (v.flags & VF_FLOAT) return ElementKind::Float;
    return ElementKind::None;
}

// BinaryAllocArray(array): integers become 4-byte, floats 8-byte numbers in
// element order; EOD is the whole size.
BUILTIN(bin_alloc_array) {
    ArrayHeader* array = nullptr;
    if (!(args[1].v.flags & VF_ARRAY)) return static_cast<void>(raise(st, Err::NotAnArray));
    if (!check_array_argument(st, args[1].v, &array)) return;
    const ElementKind kind = element_kind(array->elements[0].v);
    if (kind == ElementKind::None) return static_cast<void>(raise(st, Err::BinaryAllocArrayBadType));
    for (uint32_t i = 1; i < array->element_count; ++i) {
        const ElementKind other = element_kind(array->elements[i].v);
        if (other == ElementKind::None) return static_cast<void>(raise(st, Err::BinaryAllocArrayBadType));
        if (other != kind) return static_cast<void>(raise(st, Err::BinaryAllocArrayMixedTypes));
    }
    const size_t width = kind == ElementKind::Integer ? 4 : 8;
    const uint64_t bytes = static_cast<uint64_t>(array->element_count) * width;
    if (bytes > 0x7FFFFFFF) return static_cast<void>(raise(st, Err::BinaryAllocFailed));
    BinaryBufferEntry* b = new_buffer(st, static_cast<int32_t>(bytes));
    if (!b) return;
    for (uint32_t i = 0; i < array->element_count; ++i) {
        const ValuePayload& v = array->elements[i].v;
        if (kind == ElementKind::Integer)
            memcpy(b->data + i * width, &v.integer, width);
        else
            memcpy(b->data + i * width, &v.real, width);
    }
    b->eod = b->size;
    set_handle_result(st, result, b);
}

// BinaryFree(handle)
BUILTIN(bin_free) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    GlobalUnlock(b->handle);
    GlobalFree(b->handle);
    *b = BinaryBufferEntry{};
}

// BinaryEodGet(handle)
BUILTIN(bin_eod_get) {
    if (const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer)) result->v.integer = static_cast<int32_t>(b->eod);
}

// BinaryEodSet(handle, eod): the previous EOD.
BUILTIN(bin_eod_set) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t eod = args[2].v.integer;
    if (!check_offset(st, eod)) return;
    if (static_cast<uint32_t>(eod) > b->size) return static_cast<void>(raise(st, Err::BinaryEodSetBeyondEnd));
    result->v.integer = static_cast<int32_t>(b->eod);
    b->eod = static_cast<uint32_t>(eod);
}

// An address as the result: an integer when it fits in 32 bits, else its
// decimal text, which DLL calls read back as a number.
void set_address_result(EngineState* st, Value* result, uintptr_t address) {
    if (address <= 0x7FFFFFFF) {
        result->v.integer = static_cast<int32_t>(address);
        return;
    }
    char text[ADDRESS_TEXT_BYTES];
    address_text(address, text);
    if (set_value_text(st, &result->v, text, strlen(text))) result->v.flags = VF_STRING;
}

// BinaryBufInfo(value, request): -1 is value a buffer handle, 0 size,
// 1 address, 2 EOD.
BUILTIN(bin_buf_info) {
    ValuePayload& v = args[1].v;
    const int32_t request = args[2].v.integer;
    if (request == -1) {
        result->v.integer = (v.flags & VF_BINBUF_BIT) && (v.flags & VF_INT) && find_binary_buffer(st, v.integer);
        return;
    }
    if (request < 0 || request > 2) return static_cast<void>(raise(st, Err::BadRequestNumber));
    const bool integer = (v.flags & VF_INT) || ToInteger(st, &v, false);
    const BinaryBufferEntry* b = integer ? find_binary_buffer(st, v.integer) : nullptr;
    if (!b) {
        st->error = 0;  // a failed conversion is reported as the bad handle it is
        return static_cast<void>(raise(st, Err::BinaryBadHandle));
    }
    if (request == 0) result->v.integer = static_cast<int32_t>(b->size);
    if (request == 1) set_address_result(st, result, reinterpret_cast<uintptr_t>(b->data));
    if (request == 2) result->v.integer = static_cast<int32_t>(b->eod);
}

// BinaryOleType(handle, type, ...): type = 100 * direction + data type, or 0.
BUILTIN(bin_ole_type) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t type = args[2].v.integer;
    if (type < 0 || type > OLE_TYPE_LIMIT || type % 100 > OLE_DATA_TYPES)
        return static_cast<void>(raise(st, Err::BinaryOleTypeBadType));
    if (type != 0 && type / 100 == 0) return static_cast<void>(raise(st, Err::BinaryOleTypeNoDirection));
    if (type != 0 && type % 100 == 0) return static_cast<void>(raise(st, Err::BinaryOleTypeNoDataType));
    b->ole_type = static_cast<uint8_t>(type % 100);
    b->ole_direction = static_cast<uint8_t>(type / 100);
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kBinaryAllocBuiltins[] = {
    BUILTIN_ROW("binaryalloc", bin_alloc),
    BUILTIN_ROW("binaryallocarray", bin_alloc_array),
    BUILTIN_ROW("binarybufinfo", bin_buf_info),
    BUILTIN_ROW("binaryeodget", bin_eod_get),
    BUILTIN_ROW("binaryeodset", bin_eod_set),
    BUILTIN_ROW("binaryfree", bin_free),
    BUILTIN_ROW("binaryoletype", bin_ole_type),
};
constexpr size_t kBinaryAllocBuiltinCount = sizeof(kBinaryAllocBuiltins) / sizeof(kBinaryAllocBuiltins[0]);
