// Small pools of same-sized global blocks that hot paths hand back instead
// of freeing: a user-defined function call would otherwise ask the system
// for a few blocks (one of them large) and give them back on every call.
#pragma once

#include <stdint.h>
#include <windows.h>

struct SpareBlocks {
    static constexpr int CAPACITY = 8;
    HGLOBAL blocks[CAPACITY];
    uint16_t count;
};

// A kept block, or a new one allocated with `flags`. A kept block holds
// whatever its giver left in it; a giver that promises zero-filled blocks
// clears what it used before giving.
inline HGLOBAL take_spare_block(SpareBlocks& pool, UINT flags, SIZE_T bytes) {
    if (pool.count > 0) return pool.blocks[--pool.count];
    return GlobalAlloc(flags, bytes);
}

// Keeps the block when there is room, else frees it.
inline void give_spare_block(SpareBlocks& pool, HGLOBAL block) {
    if (!block) return;
    if (pool.count < SpareBlocks::CAPACITY)
        pool.blocks[pool.count++] = block;
    else
        GlobalFree(block);
}

inline void free_spare_blocks(SpareBlocks& pool) {
    while (pool.count > 0) GlobalFree(pool.blocks[--pool.count]);
}
