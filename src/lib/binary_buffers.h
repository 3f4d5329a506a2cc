// Machinery shared by the binary-buffer family: handles and the slot table,
// the range checks that most functions make in the same order, scratch
// blocks, and the release of every buffer when a run or the engine ends.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/value.h"

// A buffer handle is its slot index plus this number.
constexpr int32_t BINBUF_HANDLE_BASE = 987659;

// The open buffer that `handle` names, or null (without an error).
BinaryBufferEntry* find_binary_buffer(EngineState* st, int32_t handle);
// The same; null after raising 3023 for a foreign or freed handle.
BinaryBufferEntry* binary_buffer(EngineState* st, int32_t handle);
// The slot index of an open buffer.
inline int32_t binary_slot(const EngineState* st, const BinaryBufferEntry* b) {
    return static_cast<int32_t>(b - st->binbufs);
}

// Frees every buffer: at the end of a run and at request 99.
void free_binary_buffers(EngineState* st);

// The memory address of the buffer `handle` names, 0 when it names none.
uintptr_t binary_buffer_address(EngineState* st, int32_t handle);

// The decimal text of an address (at most 20 digits and a terminator).
constexpr size_t ADDRESS_TEXT_BYTES = 24;
void address_text(uintptr_t address, char* out);

// A buffer's end of data moves up to `end` when it lies below.
inline void extend_eod(BinaryBufferEntry* b, int64_t end) {
    if (end > static_cast<int64_t>(b->eod)) b->eod = static_cast<uint32_t>(end);
}

// The checks of the functions that take (offset, count) pairs, each raising
// its number when it fails: a negative offset 1548, a negative count 1549,
// an offset at or past the size 1543, a range past the size 1544, an offset
// at or past EOD 1550, a range past EOD 1551.
[[nodiscard]] bool check_offset(EngineState* st, int32_t offset);
[[nodiscard]] bool check_count(EngineState* st, int32_t count);
[[nodiscard]] bool check_within_size(EngineState* st, const BinaryBufferEntry* b, int32_t offset, int32_t count);
[[nodiscard]] bool check_within_eod(EngineState* st, const BinaryBufferEntry* b, int32_t offset, int32_t count);

// A zero-filled scratch block for the length of one call; freed with it.
class ScratchBlock {
public:
    ScratchBlock() = default;
    ScratchBlock(const ScratchBlock&) = delete;
    ScratchBlock& operator=(const ScratchBlock&) = delete;
    ~ScratchBlock() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    // False after raising `failure` when the memory is not there.
    [[nodiscard]] bool allocate(EngineState* st, size_t bytes, Err failure) {
        data_ = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1));
        return data_ || raise(st, failure);
    }
    uint8_t* data() const { return data_; }

private:
    uint8_t* data_ = nullptr;
};

// Byte-wise upper-casing of the ANSI code page (CharUpperBuff of each byte).
const uint8_t* upper_table();

// The first offset in [from, last_start] where the n bytes of pattern
// (n >= 1) match, exactly or byte-wise ignoring case; -1 when none does.
int64_t scan_bytes(const uint8_t* data, int64_t from, int64_t last_start, const uint8_t* pattern, size_t n,
                   bool exact);

// Decodes hex text (two digits a byte, either case) into out, which has
// room for length / 2 bytes; false for an odd length or another character.
bool decode_hex(const char* text, size_t length, uint8_t* out);
