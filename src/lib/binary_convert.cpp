// Binary buffers: character-set conversion, translation tables, checksums
// (MD5, CRC-16, CRC-32) and zlib compression.
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

// ------------------------------------------------------------------ BinaryConvert

enum TextType : int32_t { TYPE_ANSI = 0, TYPE_OEM = 1, TYPE_CODE_PAGE = 2, TYPE_UNICODE = 3 };
constexpr int32_t FLAG_UPPER = 1, FLAG_LOWER = 2;

UINT code_page_of(int32_t type, int32_t code_page) {
    if (type == TYPE_ANSI) return CP_ACP;
    return type == TYPE_OEM ? CP_OEMCP : static_cast<UINT>(code_page);
}

void change_case(uint8_t* p, size_t bytes, bool wide, int32_t flags) {
    if (!flags || !bytes) return;
    const DWORD n = static_cast<DWORD>(wide ? bytes / 2 : bytes);
    if (wide && flags == FLAG_UPPER) CharUpperBuffW(reinterpret_cast<wchar_t*>(p), n);
    if (wide && flags == FLAG_LOWER) CharLowerBuffW(reinterpret_cast<wchar_t*>(p), n);
    if (!wide && flags == FLAG_UPPER) CharUpperBuffA(reinterpret_cast<char*>(p), n);
    if (!wide && flags == FLAG_LOWER) CharLowerBuffA(reinterpret_cast<char*>(p), n);
}

// The converted text of `in` into `out` (room `room` bytes); its length, or
// -1 when the conversion failed and -2 when the result does not fit.
int64_t convert_text(uint8_t* in, size_t length, int32_t from, int32_t to, int32_t code_page, int32_t flags,
                     uint8_t* out, size_t room) {
    const int n = static_cast<int>(length);
    if (from != TYPE_UNICODE && to == TYPE_UNICODE) {
        change_case(in, length, false, flags);
        const int units = MultiByteToWideChar(code_page_of(from, code_page), 0, reinterpret_cast<char*>(in), n, nullptr, 0);
        if (units <= 0) return -1;
        if (static_cast<size_t>(units) * 2 > room) return -2;
        MultiByteToWideChar(code_page_of(from, code_page), 0, reinterpret_cast<char*>(in), n,
                            reinterpret_cast<wchar_t*>(out), units);
        return static_cast<int64_t>(units) * 2;
    }
    int64_t produced = static_cast<int64_t>(length);
    if (from == TYPE_UNICODE && to != TYPE_UNICODE) {
        if (length % 2) return -1;
        const UINT cp = code_page_of(to, code_page);
        const wchar_t* wide = reinterpret_cast<const wchar_t*>(in);
        const int bytes = WideCharToMultiByte(cp, 0, wide, n / 2, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return -1;
        if (static_cast<size_t>(bytes) > room) return -2;
        produced = WideCharToMultiByte(cp, 0, wide, n / 2, reinterpret_cast<char*>(out), bytes, nullptr, nullptr);
    } else {
        memcpy(out, in, length);
        if (from == TYPE_ANSI && to == TYPE_OEM) CharToOemBuffA(reinterpret_cast<char*>(out), reinterpret_cast<char*>(out), n);
        if (from == TYPE_OEM && to == TYPE_ANSI) OemToCharBuffA(reinterpret_cast<char*>(out), reinterpret_cast<char*>(out), n);
    }
    change_case(out, static_cast<size_t>(produced), to == TYPE_UNICODE, flags);
    return produced;
}

// BinaryConvert(handle, source type, target type, code page, flags): the
// new EOD.
BUILTIN(bin_convert) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t from = args[2].v.integer, to = args[3].v.integer, flags = args[5].v.integer;
    if (from < TYPE_ANSI || from > TYPE_UNICODE || to < TYPE_ANSI || to > TYPE_UNICODE)
        return static_cast<void>(raise(st, Err::BinaryConvertBadType));
    if (flags == (FLAG_UPPER | FLAG_LOWER)) return static_cast<void>(raise(st, Err::BinaryConvertBadFlagMix));
    if (flags < 0 || flags > FLAG_LOWER) return static_cast<void>(raise(st, Err::BinaryConvertBadFlags));
    if (b->eod == 0) return;
    ScratchBlock in, out;
    if (!in.allocate(st, b->eod, Err::AllocFailed) || !out.allocate(st, b->size, Err::AllocFailed)) return;
    memcpy(in.data(), b->data, b->eod);
    const int64_t length = convert_text(in.data(), b->eod, from, to, args[4].v.integer, flags, out.data(), b->size);
    if (length == -2) return static_cast<void>(raise(st, Err::BinaryConvertNoSpace));
    if (length < 0) return static_cast<void>(raise(st, Err::BinaryConvertFailed));
    memcpy(b->data, out.data(), static_cast<size_t>(length));
    if (length < b->eod) memset(b->data + length, 0, b->eod - static_cast<size_t>(length));
    b->eod = static_cast<uint32_t>(length);
    result->v.integer = static_cast<int32_t>(length);
}

// ------------------------------------------------------------------ BinaryXlate

// Per mode: input and output widths, the table length and its error.
struct XlateMode {
    uint32_t in, out, table;
    Err wrong_table;
};
constexpr XlateMode kXlateModes[] = {
    {1, 1, 256, Err::BinaryXlateTable0Size},
    {1, 2, 512, Err::BinaryXlateTable1Size},
    {2, 1, 65536, Err::BinaryXlateTable2Size},
    {2, 2, 131072, Err::BinaryXlateTable3Size},
};

uint32_t read_unit(const uint8_t* p, uint32_t width) { return width == 1 ? p[0] : static_cast<uint32_t>(p[0] | p[1] << 8); }

// BinaryXlate(data handle, table handle, mode): the new EOD.
BUILTIN(bin_xlate) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    const BinaryBufferEntry* table = b ? binary_buffer(st, args[2].v.integer) : nullptr;
    if (!table) return;
    const int32_t mode = args[3].v.integer;
    if (mode < 0 || mode > 3) return static_cast<void>(raise(st, Err::BinaryXlateBadMode));
    const XlateMode& m = kXlateModes[mode];
    if (table->eod != m.table) return static_cast<void>(raise(st, m.wrong_table));
    if (m.in == 2 && b->eod % 2) return static_cast<void>(raise(st, Err::BinaryXlateOddSize));
    if (b->eod == 0) return;
    const uint64_t length = static_cast<uint64_t>(b->eod) / m.in * m.out;
    if (length > b->size) return static_cast<void>(raise(st, Err::BinaryXlateNoSpace));
    ScratchBlock work;
    if (!work.allocate(st, static_cast<size_t>(length), Err::BinaryXlateAllocFailed)) return;
    uint8_t* out = work.data();
    for (uint32_t i = 0, o = 0; i < b->eod; i += m.in, o += m.out) {
        const uint8_t* entry = table->data + read_unit(b->data + i, m.in) * m.out;
        out[o] = entry[0];
        if (m.out == 2) out[o + 1] = entry[1];
    }
    memcpy(b->data, out, static_cast<size_t>(length));
    b->eod = static_cast<uint32_t>(length);
    result->v.integer = static_cast<int32_t>(length);
}

// ------------------------------------------------------------------ BinaryChecksum

// MD5 through the platform's cryptographic provider.
bool md5(const uint8_t* p, uint32_t bytes, uint8_t digest[16]) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool ok = CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider, CALG_MD5, 0, 0, &hash);
    for (uint32_t done = 0; ok && done < bytes;) {
        const DWORD piece = bytes - done < (1u << 24) ? bytes - done : (1u << 24);
        ok = CryptHashData(hash, p + done, piece, 0) != FALSE;
        done += piece;
    }
    DWORD length = 16;
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 16;
    if (hash) CryptDestroyHash(hash);
    if (provider) CryptReleaseContext(provider, 0);
    return ok;
}

// A byte-at-a-time table of a reflected CRC polynomial.
struct CrcTable {
    uint32_t entry[256];
    explicit CrcTable(uint32_t polynomial) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ polynomial : c >> 1;
            entry[n] = c;
        }
    }
};

uint32_t crc(const CrcTable& table, uint32_t value, const uint8_t* p, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) value = table.entry[(value ^ p[i]) & 0xFF] ^ (value >> 8);
    return value;
}

// BinaryChecksum(handle, request): 0 MD5, 1 CRC-16, 2 CRC-32, as text.
BUILTIN(bin_checksum) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    char text[40];
    switch (args[2].v.integer) {
    case 0: {
        uint8_t d[16];
        if (!md5(b->data, b->eod, d)) return static_cast<void>(raise(st, Err::AllocFailed));
        char* out = text;
        for (int i = 0; i < 16; ++i) {
            if (i && i % 4 == 0) *out++ = '-';
            out += sprintf(out, "%02x", d[i]);
        }
        break;
    }
    case 1: {
        static const CrcTable table16(0xA001);
        sprintf(text, "%04x", crc(table16, 0, b->data, b->eod) & 0xFFFF);
        break;
    }
    case 2: {
        static const CrcTable table32(0xEDB88320u);
        sprintf(text, "%08lx", static_cast<unsigned long>(~crc(table32, 0xFFFFFFFFu, b->data, b->eod)));
        break;
    }
    default:
        return static_cast<void>(raise(st, Err::BinaryChecksumBadRequest));
    }
    set_result<char>(st, result, Span<char>{text, strlen(text)});
}

// ------------------------------------------------------------------ compression

// BinaryComp(source, target, level) and BinaryUncomp(source, target): the
// source's bytes up to EOD into the target's whole size, through a work
// block so that a failure leaves the target as it was.
template <bool Compress>
BUILTIN(bin_zlib) {
    const BinaryBufferEntry* source = binary_buffer(st, args[1].v.integer);
    BinaryBufferEntry* target = source ? binary_buffer(st, args[2].v.integer) : nullptr;
    if (!target) return;
    const Err failure = Compress ? Err::BinaryCompFailed : Err::BinaryUncompFailed;
    ScratchBlock work;
    if (!work.allocate(st, target->size, failure)) return;
    uLongf length = target->size;
    const int outcome = Compress ? compress2(work.data(), &length, source->data, source->eod, args[3].v.integer)
                                 : uncompress(work.data(), &length, source->data, source->eod);
    if (outcome != Z_OK) return static_cast<void>(raise(st, failure));
    memcpy(target->data, work.data(), length);
    target->eod = static_cast<uint32_t>(length);
    result->v.integer = static_cast<int32_t>(length);
}

}  // namespace

constexpr BuiltinRow kBinaryConvertBuiltins[] = {
    BUILTIN_ROW("binarychecksum", bin_checksum),
    BUILTIN_ROW("binarycomp", bin_zlib<true>),
    BUILTIN_ROW("binaryconvert", bin_convert),
    BUILTIN_ROW("binaryuncomp", bin_zlib<false>),
    BUILTIN_ROW("binaryxlate", bin_xlate),
};
constexpr size_t kBinaryConvertBuiltinCount = sizeof(kBinaryConvertBuiltins) / sizeof(kBinaryConvertBuiltins[0]);
