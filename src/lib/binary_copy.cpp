// Binary buffers: copying and comparing byte ranges, and the bitwise AND,
// OR and XOR of one range into another.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"

namespace {

// The two ranges of a five-argument call (target, target offset, source,
// source offset, count); each check below raises its own number.
struct RangePair {
    BinaryBufferEntry* target;
    int32_t target_offset;
    BinaryBufferEntry* source;
    int32_t source_offset;
    int32_t count;
};

bool read_pair(EngineState* st, const Value* args, RangePair* r) {
    r->target = binary_buffer(st, args[1].v.integer);
    r->source = r->target ? binary_buffer(st, args[3].v.integer) : nullptr;
    if (!r->source) return false;
    r->target_offset = args[2].v.integer;
    r->source_offset = args[4].v.integer;
    r->count = args[5].v.integer;
    return check_offset(st, r->target_offset) && check_offset(st, r->source_offset);
}

// BinaryCopy(target, target offset, source, source offset, count): bytes go
// one by one from the lowest address up, so an overlapping copy to a higher
// offset repeats the leading bytes. A negative count is refused as an
// invalid offset.
BUILTIN(bin_copy) {
    RangePair r;
    if (!read_pair(st, args, &r) || !check_offset(st, r.count)) return;
    if (static_cast<uint32_t>(r.target_offset) >= r.target->size || static_cast<uint32_t>(r.source_offset) >= r.source->size)
        return static_cast<void>(raise(st, Err::BinaryCopyOffsetBeyondEnd));
    if (static_cast<int64_t>(r.target_offset) + r.count > r.target->size)
        return static_cast<void>(raise(st, Err::BinaryCopyWontFit));
    if (static_cast<int64_t>(r.source_offset) + r.count > r.source->size)
        return static_cast<void>(raise(st, Err::BinaryCopyCountBeyondEnd));
    result->v.integer = r.count;
    if (r.count < 1) return;
    uint8_t* to = r.target->data + r.target_offset;
    const uint8_t* from = r.source->data + r.source_offset;
    // Ranges that do not overlap forwards copy the same either way, fast.
    if (to <= from || to >= from + r.count)
        memmove(to, from, static_cast<size_t>(r.count));
    else
        for (int32_t i = 0; i < r.count; ++i) to[i] = from[i];
    extend_eod(r.target, static_cast<int64_t>(r.target_offset) + r.count);
}

// BinaryCompare(handle 1, offset 1, handle 2, offset 2, count): 1 when the
// ranges are equal; a range past either EOD compares unequal.
BUILTIN(bin_compare) {
    RangePair r;
    if (!read_pair(st, args, &r) || !check_count(st, r.count)) return;
    if (!check_within_size(st, r.target, r.target_offset, r.count) ||
        !check_within_size(st, r.source, r.source_offset, r.count))
        return;
    if (r.count == 0) return static_cast<void>(result->v.integer = 1);
    if (static_cast<int64_t>(r.target_offset) + r.count > r.target->eod ||
        static_cast<int64_t>(r.source_offset) + r.count > r.source->eod)
        return;
    result->v.integer = memcmp(r.target->data + r.target_offset, r.source->data + r.source_offset,
                               static_cast<size_t>(r.count)) == 0;
}

enum class BitOp { And, Or, Xor };

// BinaryAnd, BinaryOr, BinaryXor(target, target offset, source, source
// offset, count): both ranges must lie within size and EOD; EOD stays.
template <BitOp Op>
BUILTIN(bin_bitwise) {
    RangePair r;
    if (!read_pair(st, args, &r) || !check_count(st, r.count)) return;
    if (!check_within_size(st, r.target, r.target_offset, r.count) ||
        !check_within_size(st, r.source, r.source_offset, r.count) ||
        !check_within_eod(st, r.target, r.target_offset, r.count) ||
        !check_within_eod(st, r.source, r.source_offset, r.count))
        return;
    uint8_t* to = r.target->data + r.target_offset;
    const uint8_t* from = r.source->data + r.source_offset;
    for (int32_t i = 0; i < r.count; ++i) {
        if (Op == BitOp::And) to[i] &= from[i];
        if (Op == BitOp::Or) to[i] |= from[i];
        if (Op == BitOp::Xor) to[i] ^= from[i];
    }
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kBinaryCopyBuiltins[] = {
    BUILTIN_ROW("binaryand", bin_bitwise<BitOp::And>),
    BUILTIN_ROW("binarycompare", bin_compare),
    BUILTIN_ROW("binarycopy", bin_copy),
    BUILTIN_ROW("binaryor", bin_bitwise<BitOp::Or>),
    BUILTIN_ROW("binaryxor", bin_bitwise<BitOp::Xor>),
};
constexpr size_t kBinaryCopyBuiltinCount = sizeof(kBinaryCopyBuiltins) / sizeof(kBinaryCopyBuiltins[0]);
