// The string heap: the engine's allocator over the host's heap region.
// Texts are named by 32-bit offsets from the base; 0 means none.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include "base/exports.h"

struct EngineState;

// Block tags, stored little-endian as the four characters.
constexpr uint32_t HEAP_TAG_USED = 0x38373635;  // "5678"
constexpr uint32_t HEAP_TAG_FREE = 0x54535251;  // "QRST"
constexpr uint32_t HEAP_MIN_BLOCK = 28;
constexpr uint32_t HEAP_FIRST_FREE = 40;        // offset of the first real block
constexpr uint32_t HEAP_LAYOUT_OVERHEAD = 56;   // head, sentinel and end marker

KESTR_API uint32_t VMalloc(EngineState* st, uint32_t bytes);
KESTR_API int VFree(EngineState* st, uint32_t offset);

// Formats a freshly attached region of `size` committed bytes at `base`.
void heap_initialise(EngineState* st, void* base, uint32_t size);

// Address of a heap offset.
uint8_t* heap_at(const EngineState* st, uint32_t offset);
inline char* heap_text(const EngineState* st, uint32_t offset) {
    return reinterpret_cast<char*>(heap_at(st, offset));
}
inline wchar_t* heap_wtext(const EngineState* st, uint32_t offset) {
    return reinterpret_cast<wchar_t*>(heap_at(st, offset));
}

// Copies of texts into new blocks (0 when the heap is exhausted; no error set).
uint32_t heap_copy_text(EngineState* st, const char* text, size_t length);
uint32_t heap_copy_wtext(EngineState* st, const wchar_t* text, size_t length);

// Appends `add` (add_length bytes) to the text in `block`, whose length is
// `length`, and returns the block that now holds the whole text: the same
// block grown into a free neighbour above it when there is one large
// enough, else a new block carved from the bottom of a free block (so that
// the next append finds room above it) with the old one freed. The blocks
// are sized as VMalloc sizes them, so the heap's totals are what a copy
// would leave. 0 when the heap is exhausted; the old block is then intact.
uint32_t heap_append_text(EngineState* st, uint32_t block, size_t length, const char* add, size_t add_length);

// The length of the text in `block`, known without measuring when the
// block was last grown by heap_append_text.
size_t heap_text_length(const EngineState* st, uint32_t block);

// A walk over every block from the first to the end marker, checking tags
// and free-list membership; used by tests and diagnostics.
struct HeapStats {
    uint32_t used_blocks, used_bytes;
    uint32_t free_blocks, free_bytes;
    uint32_t listed_free_blocks;  // blocks reached through the free list
    bool intact;                  // every tag and trailer as expected
};
HeapStats heap_stats(const EngineState* st);
