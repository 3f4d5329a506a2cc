// Binary buffers: peek, poke and increment of integers of 1, 2 and 4 bytes
// and of 8-byte floats, and the ANSI, wide and hex string forms.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

enum class Access { Peek, Poke, Incr };

// The common head of every peek, poke and increment: the buffer and an
// offset with `width` bytes behind it. The caller raises EOD over them once
// nothing can fail any more (peeks too).
uint8_t* element_at(EngineState* st, const Value* args, int32_t width, BinaryBufferEntry** owner) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return nullptr;
    const int32_t offset = args[2].v.integer;
    if (!check_offset(st, offset)) return nullptr;
    if (static_cast<int64_t>(offset) + width > b->size) {
        raise(st, Err::BinaryPeekPokeBeyondEnd);
        return nullptr;
    }
    *owner = b;
    return b->data + offset;
}

// Whether the low `bits` of value, sign-extended by the value's own sign,
// give the value back: -256 ... 255 for bytes, -65536 ... 65535 for words.
bool fits_width(int32_t value, int bits) {
    return value >= -(1 << bits) && value < (1 << bits);
}

// BinaryPeek/Peek2/Peek4, BinaryPoke/Poke2/Poke4 and BinaryIncr/Incr2/Incr4
// (handle, offset (, value)): one worker for the three widths.
void integer_access(EngineState* st, Value* result, const Value* args, int32_t width, Access access) {
    BinaryBufferEntry* b;
    uint8_t* p = element_at(st, args, width, &b);
    if (!p) return;
    if (width != 1 && width != 2 && width != 4) {
        MessageOrLog(st, st->owner_window, "Invalid case in BinaryPeek/Poke/Incr", "QOB Internal Error",
                     MB_OK | MB_ICONSTOP);
        return static_cast<void>(raise(st, Err::EngineInternalError));
    }
    uint32_t old = 0;
    memcpy(&old, p, static_cast<size_t>(width));
    int32_t value = static_cast<int32_t>(old);  // bytes and words read unsigned
    if (access == Access::Poke) {
        const int32_t wanted = args[3].v.integer;
        if (width < 4 && !fits_width(wanted, width * 8)) return static_cast<void>(raise(st, Err::BinaryPokeOutOfRange));
        memcpy(p, &wanted, static_cast<size_t>(width));  // the low bytes, little-endian
    } else if (access == Access::Incr) {
        const uint32_t mask = width == 4 ? 0xFFFFFFFFu : (1u << (width * 8)) - 1;
        const uint32_t next = (old + 1) & mask;
        memcpy(p, &next, static_cast<size_t>(width));
        value = static_cast<int32_t>(next);
    }
    extend_eod(b, p + width - b->data);
    result->v.integer = value;
}

template <int Width, Access A>
BUILTIN(bin_integer) {
    integer_access(st, result, args, Width, A);
}

// BinaryPeekFlt, BinaryPokeFlt, BinaryIncrFlt (handle, offset (, value)):
// the previous value for a poke, the new one for an increment.
template <Access A>
BUILTIN(bin_float) {
    BinaryBufferEntry* b;
    uint8_t* p = element_at(st, args, 8, &b);
    if (!p) return;
    extend_eod(b, p + 8 - b->data);
    double old;
    memcpy(&old, p, 8);
    double value = old;
    if (A == Access::Poke) memcpy(p, &args[3].v.real, 8);
    if (A == Access::Incr) {
        value = old + 1.0;
        memcpy(p, &value, 8);
    }
    result->v.real = value;
    result->v.flags = VF_FLOAT;
}

// ------------------------------------------------------------------ strings

// The readable bytes from offset for up to `max` bytes: they stop at EOD.
// False after raising for a range that leaves the buffer.
bool peek_range(EngineState* st, const Value* args, const BinaryBufferEntry** buffer, size_t* available) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return false;
    const int32_t offset = args[2].v.integer, max = args[3].v.integer;
    if (!check_offset(st, offset) || !check_count(st, max)) return false;
    if (static_cast<int64_t>(offset) + max > b->size) return raise(st, Err::BinaryPeekStrBeyondEnd);
    const int64_t before_eod = static_cast<int64_t>(b->eod) - offset;
    *available = static_cast<size_t>(before_eod <= 0 ? 0 : (before_eod < max ? before_eod : max));
    *buffer = b;
    return true;
}

// BinaryPeekStr(handle, offset, maxsize): up to maxsize bytes or a NUL.
BUILTIN(bin_peek_str) {
    const BinaryBufferEntry* b = nullptr;
    size_t available = 0;
    if (!peek_range(st, args, &b, &available)) return;
    const char* p = reinterpret_cast<const char*>(b->data + args[2].v.integer);
    const void* nul = memchr(p, 0, available);
    const size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : available;
    set_result<char>(st, result, Span<char>{p, n});
}

// BinaryPeekStrW(handle, offset, maxsize, opt big-endian): UTF-16 text up to
// maxsize bytes or a NUL unit; flag 1 reads the units high byte first.
BUILTIN(bin_peek_str_w) {
    if (args[3].v.integer % 2) return static_cast<void>(raise(st, Err::BinaryPeekStrWOddMax));
    const BinaryBufferEntry* b = nullptr;
    size_t available = 0;
    if (!peek_range(st, args, &b, &available)) return;
    const uint8_t* p = b->data + args[2].v.integer;
    size_t units = 0;
    while (units * 2 + 1 < available && (p[units * 2] || p[units * 2 + 1])) ++units;
    const bool ended = units * 2 + 1 < available;
    if (!ended && available % 2) return static_cast<void>(raise(st, Err::BinaryPeekStrWOddData));
    wchar_t* out = new_result_text<wchar_t>(st, result, units);
    if (!out) return;
    const bool swapped = optional_arg(args, count, 4, 0) == 1;
    for (size_t i = 0; i < units; ++i) {
        const uint8_t first = p[2 * i], second = p[2 * i + 1];
        out[i] = static_cast<wchar_t>(swapped ? (first << 8 | second) : (second << 8 | first));
    }
}

// The target of a string poke: offset and `bytes` must fit in the buffer.
uint8_t* poke_target(EngineState* st, const Value* args, size_t bytes, Err overrun) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return nullptr;
    const int32_t offset = args[2].v.integer;
    if (offset < 0 || static_cast<uint64_t>(offset) + bytes > b->size) {
        raise(st, overrun);
        return nullptr;
    }
    extend_eod(b, static_cast<int64_t>(offset + bytes));
    return b->data + offset;
}

// BinaryPokeStr(handle, offset, string): the bytes written, without a NUL.
BUILTIN(bin_poke_str) {
    const Span<char> text = arg_span<char>(st, args[3]);
    uint8_t* p = poke_target(st, args, text.n, Err::BinaryPokeStrOverrun);
    if (!p) return;
    memcpy(p, text.p, text.n);
    result->v.integer = static_cast<int32_t>(text.n);
}

// BinaryPokeStrW(handle, offset, string, opt big-endian)
BUILTIN(bin_poke_str_w) {
    const Span<wchar_t> text = arg_span<wchar_t>(st, args[3]);
    uint8_t* p = poke_target(st, args, text.n * 2, Err::BinaryPokeStrOverrun);
    if (!p) return;
    const bool swapped = optional_arg(args, count, 4, 0) == 1;
    for (size_t i = 0; i < text.n; ++i) {
        const uint16_t unit = static_cast<uint16_t>(text.p[i]);
        p[2 * i] = static_cast<uint8_t>(swapped ? unit >> 8 : unit);
        p[2 * i + 1] = static_cast<uint8_t>(swapped ? unit : unit >> 8);
    }
    result->v.integer = static_cast<int32_t>(text.n * 2);
}

// BinaryPeekHex(handle, offset, count): the bytes as upper-case hex pairs.
BUILTIN(bin_peek_hex) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t offset = args[2].v.integer, n = args[3].v.integer;
    if (!check_offset(st, offset)) return;
    if (static_cast<uint32_t>(offset) > b->eod) return static_cast<void>(raise(st, Err::BinaryOffsetBeyondEod));
    if (!check_count(st, n)) return;
    if (static_cast<int64_t>(offset) + n > b->eod) return static_cast<void>(raise(st, Err::BinaryCountBeyondEod));
    char* out = new_result_text<char>(st, result, static_cast<size_t>(n) * 2);
    if (!out) return;
    static const char digits[] = "0123456789ABCDEF";
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t byte = b->data[offset + i];
        out[2 * i] = digits[byte >> 4];
        out[2 * i + 1] = digits[byte & 15];
    }
}

// BinaryPokeHex(handle, offset, hex): the number of bytes stored.
BUILTIN(bin_poke_hex) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t offset = args[2].v.integer;
    if (!check_offset(st, offset)) return;
    if (static_cast<uint32_t>(offset) >= b->size) return static_cast<void>(raise(st, Err::BinaryOffsetBeyondBuffer));
    const Span<char> hex = arg_span<char>(st, args[3]);
    ScratchBlock bytes;
    if (!bytes.allocate(st, hex.n / 2, Err::AllocFailed)) return;
    if (!decode_hex(hex.p, hex.n, bytes.data())) return static_cast<void>(raise(st, Err::BinaryPokeHexBadHex));
    if (static_cast<uint64_t>(offset) + hex.n / 2 > b->size) return static_cast<void>(raise(st, Err::BinaryPokeHexOverrun));
    memcpy(b->data + offset, bytes.data(), hex.n / 2);
    extend_eod(b, static_cast<int64_t>(offset + hex.n / 2));
    result->v.integer = static_cast<int32_t>(hex.n / 2);
}

}  // namespace

constexpr BuiltinRow kBinaryPeekBuiltins[] = {
    BUILTIN_ROW("binaryincr", (bin_integer<1, Access::Incr>)),
    BUILTIN_ROW("binaryincr2", (bin_integer<2, Access::Incr>)),
    BUILTIN_ROW("binaryincr4", (bin_integer<4, Access::Incr>)),
    BUILTIN_ROW("binaryincrflt", bin_float<Access::Incr>),
    BUILTIN_ROW("binarypeek", (bin_integer<1, Access::Peek>)),
    BUILTIN_ROW("binarypeek2", (bin_integer<2, Access::Peek>)),
    BUILTIN_ROW("binarypeek4", (bin_integer<4, Access::Peek>)),
    BUILTIN_ROW("binarypeekflt", bin_float<Access::Peek>),
    BUILTIN_ROW("binarypeekhex", bin_peek_hex),
    BUILTIN_ROW("binarypeekstr", bin_peek_str),
    BUILTIN_ROW("binarypeekstrw", bin_peek_str_w),
    BUILTIN_ROW("binarypoke", (bin_integer<1, Access::Poke>)),
    BUILTIN_ROW("binarypoke2", (bin_integer<2, Access::Poke>)),
    BUILTIN_ROW("binarypoke4", (bin_integer<4, Access::Poke>)),
    BUILTIN_ROW("binarypokeflt", bin_float<Access::Poke>),
    BUILTIN_ROW("binarypokehex", bin_poke_hex),
    BUILTIN_ROW("binarypokestr", bin_poke_str),
    BUILTIN_ROW("binarypokestrw", bin_poke_str_w),
};
constexpr size_t kBinaryPeekBuiltinCount = sizeof(kBinaryPeekBuiltins) / sizeof(kBinaryPeekBuiltins[0]);
