// The string heap: next-fit allocation over a circular free list, boundary
// tags for O(1) coalescing, growth by committing more of the host's region.
#include "base/heap.h"

#include <windows.h>
#include "base/word_scan.h"
#include <string.h>
#include "base/engine_state.h"
#include "base/error_numbers.h"
#include "base/message_box.h"
#include "base/messages.h"

namespace {

// Word offsets inside a block: tag, size, and for free blocks the links.
constexpr uint32_t kTag = 0, kSize = 4, kNext = 8, kPrev = 12;
// The list head lives at offset 0; the roving pointer in the second sentinel.
constexpr uint32_t kHead = 0;
constexpr uint32_t kRover = 28;
// A block grown from fresh pages is need + this many bytes.
constexpr uint32_t kGrowSlack = 32756;

uint32_t& word(const EngineState* st, uint32_t offset) {
    return *reinterpret_cast<uint32_t*>(st->heap_base + offset);
}

uint32_t block_size(const EngineState* st, uint32_t b) { return word(st, b + kSize); }

void unlink(EngineState* st, uint32_t b) {
    uint32_t next = word(st, b + kNext), prev = word(st, b + kPrev);
    word(st, prev + kNext) = next;
    word(st, next + kPrev) = prev;
    if (word(st, kRover) == b) word(st, kRover) = kHead;
}

// Writes both free tags and the size trailer of a free block.
void mark_free(EngineState* st, uint32_t b, uint32_t size) {
    word(st, b + kTag) = HEAP_TAG_FREE;
    word(st, b + kSize) = size;
    word(st, b + size - 8) = size;
    word(st, b + size - 4) = HEAP_TAG_FREE;
}

void mark_used(EngineState* st, uint32_t b, uint32_t size) {
    word(st, b + kTag) = HEAP_TAG_USED;
    word(st, b + kSize) = size;
    word(st, b + size - 4) = HEAP_TAG_USED;
}

// Moves free block `from` (still linked) to `to` with `size` bytes, keeping
// its place in the list and the roving pointer on it.
void move_free_block(EngineState* st, uint32_t from, uint32_t to, uint32_t size) {
    const uint32_t next = word(st, from + kNext), prev = word(st, from + kPrev);
    const bool roving = word(st, kRover) == from;
    mark_free(st, to, size);
    word(st, to + kNext) = next;
    word(st, to + kPrev) = prev;
    word(st, prev + kNext) = to;
    word(st, next + kPrev) = to;
    if (roving) word(st, kRover) = to;
}

// Hands out free block b (size >= need) from its bottom, the rest staying
// free above it: where an appended text can grow in place.
uint32_t take_block_low(EngineState* st, uint32_t b, uint32_t need) {
    const uint32_t size = block_size(st, b);
    if (size - need >= HEAP_MIN_BLOCK) {
        move_free_block(st, b, b + need, size - need);
        mark_used(st, b, need);
        return b + 8;
    }
    unlink(st, b);
    mark_used(st, b, size);
    return b + 8;
}

// Grows used block b of `size` bytes to `need` bytes into the free block
// above it, split as take_block splits; false when that block is not free
// or too small.
bool grow_in_place(EngineState* st, uint32_t b, uint32_t size, uint32_t need) {
    const uint32_t upper = b + size;
    if (upper >= st->heap_end || word(st, upper + kTag) != HEAP_TAG_FREE) return false;
    const uint32_t free_size = block_size(st, upper), extra = need - size;
    if (extra > free_size) return false;
    if (free_size - extra >= HEAP_MIN_BLOCK) {
        move_free_block(st, upper, upper + extra, free_size - extra);
        mark_used(st, b, need);
    } else {
        unlink(st, upper);
        mark_used(st, b, size + free_size);
    }
    return true;
}

// Hands out free block b (size >= need): split from the top when the rest
// can stand as a block of its own, otherwise take it whole.
uint32_t take_block(EngineState* st, uint32_t b, uint32_t need) {
    uint32_t size = block_size(st, b);
    if (size - need >= HEAP_MIN_BLOCK) {
        uint32_t rest = size - need;
        word(st, b + kSize) = rest;
        word(st, b + rest - 8) = rest;
        word(st, b + rest - 4) = HEAP_TAG_FREE;
        mark_used(st, b + rest, need);
        return b + rest + 8;
    }
    unlink(st, b);
    mark_used(st, b, size);
    return b + 8;
}

void report_commit_failure(EngineState* st, DWORD code) {
    char text[16];
    wsprintfA(text, "%lu", code);
    MessageOrLog(st, nullptr, text, "VMalloc error - VirtualAlloc failed", MB_SETFOREGROUND);
}

void report_damaged_tag(EngineState* st, Err which) {
    char text[64], caption[64];
    message_text(st, static_cast<int>(which), text, sizeof text);
    message_text(st, static_cast<int>(Err::InternalDynallocError), caption, sizeof caption);
    MessageOrLog(st, nullptr, text, caption, MB_SETFOREGROUND);
}

// Commits more of the region and frees a new block into the list.
bool grow(EngineState* st, uint32_t need) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    uint64_t page = info.dwPageSize;
    uint64_t wanted = (uint64_t)st->heap_committed + need + 32768;
    wanted = (wanted + page - 1) / page * page;
    if (wanted > 0xFFFFFFF0u) return false;  // offsets are 32-bit
    if (!VirtualAlloc(st->heap_commit_base, (SIZE_T)wanted, MEM_COMMIT, PAGE_READWRITE)) {
        DWORD code = GetLastError();
        if (code != ERROR_NOT_ENOUGH_MEMORY) report_commit_failure(st, code);
        return false;
    }
    st->heap_committed = (uint32_t)wanted;
    uint32_t block = st->heap_end;
    uint32_t size = need + kGrowSlack;
    mark_used(st, block, size);
    st->heap_end = block + size;
    word(st, st->heap_end) = HEAP_TAG_USED;
    VFree(st, block + 8);
    return true;
}

}  // namespace

uint8_t* heap_at(const EngineState* st, uint32_t offset) { return st->heap_base + offset; }

void heap_initialise(EngineState* st, void* base, uint32_t size) {
    st->heap_base = static_cast<uint8_t*>(base);
    st->heap_commit_base = st->heap_base;
    st->heap_committed = size;
    // Nothing remembered about the texts of an earlier heap.
    st->append_block = 0;
    st->walked_block = 0;
    st->pinned_block = 0;
    st->pinned_released = 0;
    // The head and a second sentinel, both laid out as empty used blocks, so
    // that every real block has tagged neighbours on both sides.
    word(st, 0) = HEAP_TAG_USED;
    word(st, 4) = 0;
    word(st, 8) = HEAP_FIRST_FREE;
    word(st, 12) = HEAP_FIRST_FREE;
    word(st, 16) = HEAP_TAG_USED;
    word(st, 20) = HEAP_TAG_USED;
    word(st, 24) = 0;
    word(st, kRover) = HEAP_FIRST_FREE;
    word(st, 32) = 0;
    word(st, 36) = HEAP_TAG_USED;
    uint32_t free_size = size - HEAP_LAYOUT_OVERHEAD;
    mark_free(st, HEAP_FIRST_FREE, free_size);
    word(st, HEAP_FIRST_FREE + kNext) = kHead;
    word(st, HEAP_FIRST_FREE + kPrev) = kHead;
    st->heap_end = HEAP_FIRST_FREE + free_size;
    word(st, st->heap_end) = HEAP_TAG_USED;
}

namespace {

// The block size VMalloc gives for a request of `bytes`.
uint32_t block_need(uint32_t bytes) {
    const uint32_t need = (bytes + 15) & ~3u;
    return need < HEAP_MIN_BLOCK ? HEAP_MIN_BLOCK : need;
}

// The free block the next-fit walk picks for `need` bytes, the heap grown
// when a whole round finds none; 0 when it cannot grow.
uint32_t find_free(EngineState* st, uint32_t need) {
    bool wrapped = false;
    uint32_t p = word(st, kRover);
    for (;;) {
        uint32_t b = word(st, p + kNext);
        if (b == kHead) {
            if (wrapped) {
                if (!grow(st, need)) return 0;
                wrapped = false;
                p = word(st, kRover);
                continue;
            }
            wrapped = true;  // the head has size 0 and never fits
        } else if (block_size(st, b) >= need) {
            return b;
        }
        p = b;
        word(st, kRover) = p;
    }
}

}  // namespace

KESTR_API uint32_t VMalloc(EngineState* st, uint32_t bytes) {
    if (!st || !st->heap_base || bytes > 0x7FFFFFF0u) return 0;
    const uint32_t need = block_need(bytes);
    const uint32_t b = find_free(st, need);
    return b ? take_block(st, b, need) : 0;
}

KESTR_API int VFree(EngineState* st, uint32_t offset) {
    if (!st || !st->heap_base || offset < HEAP_FIRST_FREE + 8) return 0;
    if (offset == st->append_block) st->append_block = 0;
    if (offset == st->walked_block) st->walked_block = 0;
    if (offset == st->pinned_block) {
        // Freed by whoever holds the pin, once it is done with the text.
        st->pinned_released = 1;
        return 1;
    }
    uint32_t b = offset - 8;
    uint32_t size = block_size(st, b);
    uint32_t lower_tag = word(st, b - 4);
    uint32_t upper_tag = word(st, b + size);
    // Both neighbours are checked before anything changes, so a damaged
    // block leaves the free list intact.
    if (lower_tag != HEAP_TAG_FREE && lower_tag != HEAP_TAG_USED) {
        report_damaged_tag(st, Err::TagOverwrite1);
        return 0;
    }
    if (upper_tag != HEAP_TAG_FREE && upper_tag != HEAP_TAG_USED) {
        report_damaged_tag(st, Err::TagOverwrite2);
        return 0;
    }
    if (lower_tag == HEAP_TAG_FREE) {
        uint32_t lower = b - word(st, b - 8);
        unlink(st, lower);
        size += block_size(st, lower);
        b = lower;
    }
    if (upper_tag == HEAP_TAG_FREE) {
        uint32_t upper = b + size;
        unlink(st, upper);
        size += block_size(st, upper);
    }
    mark_free(st, b, size);
    uint32_t first = word(st, kHead + kNext);
    word(st, b + kNext) = first;
    word(st, b + kPrev) = kHead;
    word(st, first + kPrev) = b;
    word(st, kHead + kNext) = b;
    return 1;
}

uint32_t heap_copy_text(EngineState* st, const char* text, size_t length) {
    uint32_t block = VMalloc(st, (uint32_t)length + 1);
    if (!block) return 0;
    char* dest = heap_text(st, block);
    memcpy(dest, text, length);
    dest[length] = '\0';
    return block;
}

uint32_t heap_copy_wtext(EngineState* st, const wchar_t* text, size_t length) {
    uint32_t block = VMalloc(st, (uint32_t)(length + 1) * sizeof(wchar_t));
    if (!block) return 0;
    wchar_t* dest = heap_wtext(st, block);
    memcpy(dest, text, length * sizeof(wchar_t));
    dest[length] = L'\0';
    return block;
}

uint32_t heap_append_text(EngineState* st, uint32_t block, size_t length, const char* add, size_t add_length) {
    const size_t total = length + add_length;
    if (total >= 0x7FFFFFF0u) return 0;
    const uint32_t need = block_need(static_cast<uint32_t>(total + 1));
    const uint32_t b = block - 8;
    const uint32_t size = block_size(st, b);
    uint32_t target = block;
    if (block == st->walked_block) st->walked_block = 0;
    if (need > size && !grow_in_place(st, b, size, need)) {
        const uint32_t fit = find_free(st, need);
        if (!fit) return 0;
        target = take_block_low(st, fit, need);
        memcpy(heap_text(st, target), heap_text(st, block), length);
        VFree(st, block);
    }
    char* text = heap_text(st, target);
    memcpy(text + length, add, add_length);
    text[total] = '\0';
    st->append_block = target;
    st->append_length = static_cast<uint32_t>(total);
    return target;
}

size_t heap_text_length(const EngineState* st, uint32_t block) {
    const char* text = heap_text(st, block);
    if (block == st->append_block && text[st->append_length] == '\0') return st->append_length;
    return text_length(text);
}

HeapStats heap_stats(const EngineState* st) {
    HeapStats stats = {};
    stats.intact = true;
    uint32_t b = HEAP_FIRST_FREE;
    while (b < st->heap_end) {
        uint32_t tag = word(st, b + kTag), size = block_size(st, b);
        bool used = tag == HEAP_TAG_USED;
        if ((!used && tag != HEAP_TAG_FREE) || size < HEAP_MIN_BLOCK || size % 4 ||
            b + size > st->heap_end || word(st, b + size - 4) != tag ||
            (!used && word(st, b + size - 8) != size)) {
            stats.intact = false;
            return stats;
        }
        (used ? stats.used_blocks : stats.free_blocks)++;
        (used ? stats.used_bytes : stats.free_bytes) += size;
        b += size;
    }
    stats.intact = b == st->heap_end && word(st, b) == HEAP_TAG_USED;
    for (uint32_t f = word(st, kHead + kNext); f != kHead && stats.listed_free_blocks <= stats.free_blocks;
         f = word(st, f + kNext))
        stats.listed_free_blocks++;
    return stats;
}
