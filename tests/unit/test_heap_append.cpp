// String heap appends: a text grows into the free block above it, moves to
// the bottom of a free block when it cannot, and leaves the heap's totals as
// a fresh block of the new size would.
#include <string.h>
#include "base/heap.h"
#include "engine_fixture.h"

namespace {

class HeapAppendTest : public EngineTest {};

TEST_F(HeapAppendTest, GrowsInPlaceOnceMovedBelowFreeRoom) {
    const uint32_t first = heap_copy_text(st, "ab", 2);
    ASSERT_NE(first, 0u);
    // Carved from the top of the free block, the text has nothing free above
    // it: the first append that outgrows its block moves it to the bottom.
    const uint32_t moved = heap_append_text(st, first, 2, "cdefghijklmnopqrstuv", 20);
    ASSERT_NE(moved, 0u);
    EXPECT_LT(moved, first);
    for (int i = 0; i < 200; ++i) {
        const uint32_t grown = heap_append_text(st, moved, heap_text_length(st, moved), "0123456789", 10);
        ASSERT_EQ(grown, moved);
    }
    EXPECT_EQ(heap_text_length(st, moved), 2022u);
    EXPECT_EQ(strncmp(heap_text(st, moved), "abcdefghijklmnopqrstuv0123", 26), 0);
    EXPECT_STREQ(heap_text(st, moved) + 2012, "0123456789");
    HeapStats s = heap_stats(st);
    EXPECT_TRUE(s.intact);
    EXPECT_EQ(s.used_blocks, 1u);
    EXPECT_EQ(s.used_bytes, (2023u + 15u) & ~3u);  // as VMalloc(2023) would size it
    EXPECT_EQ(s.listed_free_blocks, s.free_blocks);
}

TEST_F(HeapAppendTest, StaysWhileItFitsThenMovesAndFreesTheOld) {
    const uint32_t text = heap_copy_text(st, "xy", 2);
    EXPECT_EQ(heap_append_text(st, text, 2, "z", 1), text);  // the 28-byte block has room
    EXPECT_NE(VMalloc(st, 1000), 0u);
    const uint32_t before = heap_stats(st).used_bytes;
    char add[200];
    memset(add, 'q', sizeof add);
    const uint32_t moved = heap_append_text(st, text, 3, add, sizeof add);
    ASSERT_NE(moved, 0u);
    EXPECT_NE(moved, text);
    EXPECT_EQ(strncmp(heap_text(st, moved), "xyzq", 4), 0);
    EXPECT_STREQ(heap_text(st, moved) + 198, "qqqqq");
    HeapStats s = heap_stats(st);
    EXPECT_TRUE(s.intact);
    EXPECT_EQ(s.used_blocks, 2u);
    EXPECT_EQ(s.used_bytes, before - 28u + ((204u + 15u) & ~3u));
    EXPECT_EQ(s.listed_free_blocks, s.free_blocks);
}

TEST_F(HeapAppendTest, PinnedTextOutlivesItsRelease) {
    const uint32_t text = heap_copy_text(st, "keep", 4);
    st->pinned_block = text;
    st->pinned_released = 0;
    EXPECT_EQ(VFree(st, text), 1);
    EXPECT_EQ(st->pinned_released, 1);
    EXPECT_STREQ(heap_text(st, text), "keep");
    EXPECT_EQ(heap_stats(st).used_blocks, 1u);
    st->pinned_block = 0;
    EXPECT_EQ(VFree(st, text), 1);
    EXPECT_EQ(heap_stats(st).used_blocks, 0u);
}

}  // namespace
