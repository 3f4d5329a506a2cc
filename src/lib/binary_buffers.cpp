// The binary-buffer slot table and the checks and helpers that the
// binary-buffer functions share.
#include "lib/binary_buffers.h"

#include <string.h>

BinaryBufferEntry* find_binary_buffer(EngineState* st, int32_t handle) {
    const int64_t slot = static_cast<int64_t>(handle) - BINBUF_HANDLE_BASE;
    if (slot < 0 || slot >= BINBUF_SLOTS) return nullptr;
    BinaryBufferEntry* b = &st->binbufs[slot];
    return b->handle ? b : nullptr;
}

BinaryBufferEntry* binary_buffer(EngineState* st, int32_t handle) {
    BinaryBufferEntry* b = find_binary_buffer(st, handle);
    if (!b) raise(st, Err::BinaryBadHandle);
    return b;
}

void free_binary_buffers(EngineState* st) {
    for (BinaryBufferEntry& b : st->binbufs) {
        if (b.handle) {
            if (b.data) GlobalUnlock(b.handle);
            GlobalFree(b.handle);
        }
        b = BinaryBufferEntry{};
    }
}

uintptr_t binary_buffer_address(EngineState* st, int32_t handle) {
    const BinaryBufferEntry* b = find_binary_buffer(st, handle);
    return b ? reinterpret_cast<uintptr_t>(b->data) : 0;
}

void address_text(uintptr_t address, char* out) {
    char digits[ADDRESS_TEXT_BYTES];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + address % 10);
        address /= 10;
    } while (address);
    for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = 0;
}

bool check_offset(EngineState* st, int32_t offset) {
    return offset >= 0 || raise(st, Err::BinaryBadOffset);
}

bool check_count(EngineState* st, int32_t count) {
    return count >= 0 || raise(st, Err::BinaryBadCount);
}

bool check_within_size(EngineState* st, const BinaryBufferEntry* b, int32_t offset, int32_t count) {
    if (static_cast<uint32_t>(offset) >= b->size) return raise(st, Err::BinaryOffsetBeyondBuffer);
    if (static_cast<int64_t>(offset) + count > b->size) return raise(st, Err::BinaryCountBeyondBuffer);
    return true;
}

bool check_within_eod(EngineState* st, const BinaryBufferEntry* b, int32_t offset, int32_t count) {
    if (static_cast<uint32_t>(offset) >= b->eod) return raise(st, Err::BinaryOffsetBeyondEod);
    if (static_cast<int64_t>(offset) + count > b->eod) return raise(st, Err::BinaryCountBeyondEod);
    return true;
}

const uint8_t* upper_table() {
    static uint8_t table[256];
    static bool ready = false;
    if (!ready) {
        for (int c = 0; c < 256; ++c) table[c] = static_cast<uint8_t>(c);
        CharUpperBuffA(reinterpret_cast<char*>(table + 1), 255);
        ready = true;
    }
    return table;
}

// An exact search lets memchr find the candidates for the first byte.
int64_t scan_bytes(const uint8_t* data, int64_t from, int64_t last_start, const uint8_t* pattern, size_t n,
                   bool exact) {
    if (!exact) {
        const uint8_t* upper = upper_table();
        const uint8_t key = upper[pattern[0]];
        for (int64_t at = from; at <= last_start; ++at) {
            if (upper[data[at]] != key) continue;
            size_t i = 1;
            while (i < n && upper[data[at + i]] == upper[pattern[i]]) ++i;
            if (i == n) return at;
        }
        return -1;
    }
    for (int64_t at = from; at <= last_start;) {
        const void* hit = memchr(data + at, pattern[0], static_cast<size_t>(last_start - at + 1));
        if (!hit) return -1;
        at = static_cast<const uint8_t*>(hit) - data;
        if (memcmp(data + at, pattern, n) == 0) return at;
        ++at;
    }
    return -1;
}

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool decode_hex(const char* text, size_t length, uint8_t* out) {
    if (length % 2) return false;
    for (size_t i = 0; i < length; i += 2) {
        const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out[i / 2] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}
