// Binary buffers: searching (BinaryIndex and its case, not-found and
// byte-pattern variants), counting and replacing strings in place.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

struct Bytes {
    const uint8_t* p;
    size_t n;
};

Bytes text_bytes(const EngineState* st, const Value& arg) {
    const Span<char> s = arg_span<char>(st, arg);
    return Bytes{reinterpret_cast<const uint8_t*>(s.p), s.n};
}

bool same_at(const uint8_t* p, Bytes pattern, bool exact) {
    if (exact) return memcmp(p, pattern.p, pattern.n) == 0;
    const uint8_t* upper = upper_table();
    for (size_t i = 0; i < pattern.n; ++i)
        if (upper[p[i]] != upper[pattern.p[i]]) return false;
    return true;
}

int64_t scan_forward(const uint8_t* data, int64_t from, int64_t last_start, Bytes pattern, bool exact) {
    return scan_bytes(data, from, last_start, pattern.p, pattern.n, exact);
}

// The offset of a match of pattern (see BinaryIndex), or -1.
int64_t find_pattern(const BinaryBufferEntry* b, int32_t offset, Bytes pattern, bool backward, bool exact) {
    const uint8_t* data = b->data;
    if (pattern.n == 0) {  // the next (previous) byte that is not 0
        if (backward) {
            for (int64_t at = offset; at >= 0; --at)
                if (data[at]) return at;
            return -1;
        }
        for (int64_t at = offset; at < b->eod; ++at)
            if (data[at]) return at;
        return -1;
    }
    if (!backward) return scan_forward(data, offset, static_cast<int64_t>(b->eod) - static_cast<int64_t>(pattern.n), pattern, exact);
    for (int64_t at = static_cast<int64_t>(offset) - static_cast<int64_t>(pattern.n) + 1; at >= 0; --at)
        if (same_at(data + at, pattern, exact)) return at;
    return -1;
}

// The search every BinaryIndex form shares; `missing` is the result when
// nothing matches.
void index_search(EngineState* st, Value* result, int32_t handle, int32_t offset, Bytes pattern, bool backward,
                  bool exact, int32_t missing) {
    const BinaryBufferEntry* b = binary_buffer(st, handle);
    if (!b || !check_offset(st, offset)) return;
    if (static_cast<uint32_t>(offset) >= b->size) return static_cast<void>(raise(st, Err::BinaryIndexBeyondEnd));
    const int64_t at = find_pattern(b, offset, pattern, backward, exact);
    result->v.integer = at < 0 ? missing : static_cast<int32_t>(at);
}

// BinaryIndex(handle, offset, string, direction): exact, 0 when absent.
BUILTIN(bin_index) {
    index_search(st, result, args[1].v.integer, args[2].v.integer, text_bytes(st, args[3]), args[4].v.integer != 0,
                 true, 0);
}

// BinaryIndexNc(handle, offset, string, direction): ignoring case, 0 when absent.
BUILTIN(bin_index_nc) {
    index_search(st, result, args[1].v.integer, args[2].v.integer, text_bytes(st, args[3]), args[4].v.integer != 0,
                 false, 0);
}

// BinaryIndexEx(handle, offset, string, direction, match-case): -1 when absent.
BUILTIN(bin_index_ex) {
    index_search(st, result, args[1].v.integer, args[2].v.integer, text_bytes(st, args[3]), args[4].v.integer != 0,
                 args[5].v.integer != 0, -1);
}

// BinaryIndexBin(handle, offset, item, direction, match-case): item is a
// buffer handle (its bytes up to EOD) or hex text; -1 when absent.
BUILTIN(bin_index_bin) {
    const ValuePayload& item = args[3].v;
    ScratchBlock decoded;
    Bytes pattern{nullptr, 0};
    if ((item.flags & VF_BINBUF) == VF_BINBUF) {
        const BinaryBufferEntry* source = binary_buffer(st, item.integer);
        if (!source) return;
        pattern = Bytes{source->data, source->eod};
    } else if (item.flags & (VF_STRING | VF_UNICODE)) {
        if (!ToString(st, &args[3].v)) return static_cast<void>(raise(st, Err::BinaryIndexBinBadItem));
        const Span<char> hex = arg_span<char>(st, args[3]);
        if (!decoded.allocate(st, hex.n / 2, Err::AllocFailed)) return;
        if (!decode_hex(hex.p, hex.n, decoded.data())) return static_cast<void>(raise(st, Err::BinaryIndexBinBadHex));
        pattern = Bytes{decoded.data(), hex.n / 2};
    } else {
        return static_cast<void>(raise(st, Err::BinaryIndexBinBadItem));
    }
    index_search(st, result, args[1].v.integer, args[2].v.integer, pattern, args[4].v.integer != 0,
                 args[5].v.integer != 0, -1);
}

// BinaryStrCnt(handle, start, end, string): exact, non-overlapping
// occurrences that begin between start and end and end within EOD.
BUILTIN(bin_str_cnt) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    int32_t start = args[2].v.integer, end = args[3].v.integer;
    if (start < 0 || end < 0) return static_cast<void>(raise(st, Err::BinaryIndexBeyondEnd));
    if (start > end) {
        const int32_t t = start;
        start = end;
        end = t;
    }
    if (static_cast<uint32_t>(end) >= b->size) return static_cast<void>(raise(st, Err::BinaryIndexBeyondEnd));
    if (static_cast<uint32_t>(end) >= b->eod) return static_cast<void>(raise(st, Err::BinaryOffsetBeyondEod));
    const Bytes pattern = text_bytes(st, args[4]);
    if (pattern.n == 0) return;
    int64_t last = static_cast<int64_t>(b->eod) - static_cast<int64_t>(pattern.n);
    if (last > end) last = end;
    int32_t found = 0;
    for (int64_t at = start; at <= last;) {
        at = scan_forward(b->data, at, last, pattern, true);
        if (at < 0) break;
        ++found;
        at += static_cast<int64_t>(pattern.n);
    }
    result->v.integer = found;
}

// BinaryReplace(handle, old, new, match-case): replaces every occurrence up
// to EOD, left to right; an empty old stands for one NUL byte. The result
// is the number of replacements.
BUILTIN(bin_replace) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    static const uint8_t nul = 0;
    Bytes old = text_bytes(st, args[2]);
    if (old.n == 0) old = Bytes{&nul, 1};
    const Bytes replacement = text_bytes(st, args[3]);
    const bool exact = args[4].v.integer != 0;
    ScratchBlock work;
    if (!work.allocate(st, b->size, Err::AllocFailed)) return;
    uint8_t* out = work.data();
    size_t length = 0;
    int32_t replaced = 0;
    const int64_t last = static_cast<int64_t>(b->eod) - static_cast<int64_t>(old.n);
    int64_t at = 0;
    while (at < b->eod) {
        const int64_t hit = at <= last ? scan_forward(b->data, at, last, old, exact) : -1;
        const int64_t plain_end = hit < 0 ? b->eod : hit;
        const size_t plain = static_cast<size_t>(plain_end - at);
        const size_t grows = hit < 0 ? 0 : replacement.n;
        if (length + plain + grows > b->size) return static_cast<void>(raise(st, Err::BinaryReplaceOverrun));
        memcpy(out + length, b->data + at, plain);
        length += plain;
        if (hit < 0) break;
        memcpy(out + length, replacement.p, replacement.n);
        length += replacement.n;
        ++replaced;
        at = hit + static_cast<int64_t>(old.n);
    }
    memcpy(b->data, out, length);
    memset(b->data + length, 0, b->size - length);
    b->eod = static_cast<uint32_t>(length);
    result->v.integer = replaced;
}

}  // namespace

constexpr BuiltinRow kBinarySearchBuiltins[] = {
    BUILTIN_ROW("binaryindex", bin_index),
    BUILTIN_ROW("binaryindexbin", bin_index_bin),
    BUILTIN_ROW("binaryindexex", bin_index_ex),
    BUILTIN_ROW("binaryindexnc", bin_index_nc),
    BUILTIN_ROW("binaryreplace", bin_replace),
    BUILTIN_ROW("binarystrcnt", bin_str_cnt),
};
constexpr size_t kBinarySearchBuiltinCount = sizeof(kBinarySearchBuiltins) / sizeof(kBinarySearchBuiltins[0]);
