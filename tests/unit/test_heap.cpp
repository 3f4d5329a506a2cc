// String heap: block format, splitting, coalescing, growth, exhaustion and
// damaged tags.
#include <string.h>
#include "base/heap.h"
#include "engine_fixture.h"

namespace {

uint32_t size_of_block(EngineState* st, uint32_t offset) {
    return *reinterpret_cast<uint32_t*>(heap_at(st, offset - 4));
}
uint32_t tag_at(EngineState* st, uint32_t offset) {
    return *reinterpret_cast<uint32_t*>(heap_at(st, offset));
}
// The blocks on the free list, walked from its head.
uint32_t listed_free(EngineState* st) {
    uint32_t count = 0;
    for (uint32_t f = tag_at(st, 8); f; f = tag_at(st, f + 8)) ++count;
    return count;
}

class HeapTest : public EngineTest {};

TEST_F(HeapTest, FreshHeapIsOneFreeBlockBetweenSentinels) {
    HeapStats s = heap_stats(st);
    EXPECT_TRUE(s.intact);
    EXPECT_EQ(s.free_blocks, 1u);
    EXPECT_EQ(s.used_blocks, 0u);
    EXPECT_EQ(s.free_bytes, kHeapInitial - HEAP_LAYOUT_OVERHEAD);
    EXPECT_EQ(memcmp(heap_at(st, 0), "5678", 4), 0);
    EXPECT_EQ(memcmp(heap_at(st, HEAP_FIRST_FREE), "QRST", 4), 0);
    EXPECT_EQ(st->heap_end, kHeapInitial - 16);
}

TEST_F(HeapTest, BlockSizesIncludeHeaderAndTrailer) {
    uint32_t zero = VMalloc(st, 0);
    ASSERT_NE(zero, 0u);
    EXPECT_EQ(size_of_block(st, zero), 28u);  // 16 usable bytes
    uint32_t seventeen = VMalloc(st, 17);
    EXPECT_EQ(size_of_block(st, seventeen), 32u);
    uint32_t twenty = VMalloc(st, 20);
    EXPECT_EQ(size_of_block(st, twenty), 32u);
    // Both ends of an allocated block carry the used tag.
    EXPECT_EQ(tag_at(st, twenty - 8), HEAP_TAG_USED);
    EXPECT_EQ(tag_at(st, twenty - 8 + 32 - 4), HEAP_TAG_USED);
    // Offsets are never 0 and the user area is writable up to its end.
    memset(heap_at(st, twenty), 0xAB, 20);
    EXPECT_TRUE(heap_stats(st).intact);
}

TEST_F(HeapTest, AllocationsAreCarvedFromTheTopOfAFreeBlock) {
    uint32_t a = VMalloc(st, 100);
    uint32_t b = VMalloc(st, 100);
    EXPECT_EQ(a, b + size_of_block(st, b));
    EXPECT_EQ(heap_stats(st).free_blocks, 1u);
}

TEST_F(HeapTest, FreeingNeighboursCoalesces) {
    HeapStats before = heap_stats(st);
    uint32_t a = VMalloc(st, 64), b = VMalloc(st, 64), c = VMalloc(st, 64), d = VMalloc(st, 64);
    // a sits directly above b, b above c: free a and c, then b between them.
    VFree(st, a);
    VFree(st, c);
    HeapStats apart = heap_stats(st);
    EXPECT_EQ(apart.free_blocks, 3u);  // the low rest, c and a
    VFree(st, b);
    HeapStats merged = heap_stats(st);
    EXPECT_TRUE(merged.intact);
    EXPECT_EQ(merged.free_blocks, 2u);  // the big low block and a+b+c
    EXPECT_EQ(merged.listed_free_blocks, merged.free_blocks);
    VFree(st, d);
    HeapStats after = heap_stats(st);
    EXPECT_EQ(after.free_blocks, before.free_blocks);
    EXPECT_EQ(after.free_bytes, before.free_bytes);
}

TEST_F(HeapTest, TwoAdjacentFreedBlocksBecomeOneOfTheirSum) {
    VMalloc(st, 40);  // kept below and above the pair
    uint32_t a = VMalloc(st, 40), b = VMalloc(st, 200);
    VMalloc(st, 40);
    uint32_t sum = size_of_block(st, a) + size_of_block(st, b);
    VFree(st, a);
    VFree(st, b);
    // The merged block starts at the lower one, b, and is first on the list.
    uint32_t first = tag_at(st, 8);
    EXPECT_EQ(first, b - 8);
    EXPECT_EQ(tag_at(st, first + 4), sum);
}

TEST_F(HeapTest, ExactFitTakesTheWholeBlockAndUnlinksIt) {
    VMalloc(st, 40);
    uint32_t hole = VMalloc(st, 60);
    VMalloc(st, 40);
    uint32_t hole_size = size_of_block(st, hole);
    VFree(st, hole);
    EXPECT_EQ(heap_stats(st).free_blocks, 2u);
    // A request whose block would leave less than 28 bytes takes it whole.
    uint32_t again = VMalloc(st, hole_size - 12 - 20);
    EXPECT_EQ(again, hole);
    EXPECT_EQ(size_of_block(st, again), hole_size);
    HeapStats s = heap_stats(st);
    EXPECT_EQ(s.free_blocks, 1u);
    EXPECT_EQ(s.listed_free_blocks, 1u);
}

TEST_F(HeapTest, GrowsByCommittingMoreOfTheRegion) {
    uint32_t committed = st->heap_committed;
    uint32_t need = 100000;  // more than the whole first commit
    uint32_t big = VMalloc(st, need - 12);
    ASSERT_NE(big, 0u);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_GE(st->heap_committed, committed + need + 32768);
    EXPECT_EQ(st->heap_committed % info.dwPageSize, 0u);
    EXPECT_LT(st->heap_committed, committed + need + 32768 + info.dwPageSize);
    memset(heap_at(st, big), 0x5A, need - 12);
    HeapStats s = heap_stats(st);
    EXPECT_TRUE(s.intact);
    EXPECT_EQ(s.listed_free_blocks, s.free_blocks);
}

TEST_F(HeapTest, ExhaustionReturnsZeroAndReportsTheCommitFailure) {
    // The region is reserved at 16 MB; committing past it fails.
    uint32_t got = 0, last = 1;
    for (int i = 0; i < 40 && last; ++i) {
        last = VMalloc(st, 1024 * 1024);
        if (last) ++got;
    }
    EXPECT_EQ(last, 0u);
    EXPECT_GE(got, 10u);
    EXPECT_STREQ(st->silent_caption, "VMalloc error - VirtualAlloc failed");
    EXPECT_TRUE(heap_stats(st).intact);
    // Small allocations still succeed from what is left.
    EXPECT_NE(VMalloc(st, 10), 0u);
}

TEST_F(HeapTest, OverwrittenUpperTagIsReportedAndNotFreed) {
    uint32_t upper = VMalloc(st, 16);
    uint32_t lower = VMalloc(st, 16);
    ASSERT_EQ(lower + size_of_block(st, lower), upper);
    // An overrun of `lower` reaches the header of `upper`.
    memset(heap_at(st, lower), 'x', size_of_block(st, lower) - 8 + 4);
    HeapStats before = heap_stats(st);
    EXPECT_FALSE(before.intact);
    VFree(st, lower);
    EXPECT_STREQ(st->silent_text, "Tag Overwrite 2");
    EXPECT_STREQ(st->silent_caption, "INTERNAL DYNALLOC ERROR");
}

TEST_F(HeapTest, OverwrittenLowerTrailerIsReportedAndNotFreed) {
    uint32_t upper = VMalloc(st, 16);
    uint32_t lower = VMalloc(st, 16);
    // Damage only the trailing tag of `lower`: freeing `upper` sees it.
    memcpy(heap_at(st, lower - 8 + size_of_block(st, lower) - 4), "oops", 4);
    const uint32_t free_before = listed_free(st);
    VFree(st, upper);
    EXPECT_STREQ(st->silent_text, "Tag Overwrite 1");
    EXPECT_EQ(listed_free(st), free_before);
}

TEST_F(HeapTest, NextFitResumesAfterTheRovingPointer) {
    uint32_t big1 = VMalloc(st, 200);
    VMalloc(st, 8);
    uint32_t small = VMalloc(st, 20);
    VMalloc(st, 8);
    uint32_t big2 = VMalloc(st, 200);
    VMalloc(st, 8);
    VFree(st, big1);
    VFree(st, big2);
    VFree(st, small);  // the list is now small, big2, big1, rest
    uint32_t x = VMalloc(st, 150);
    EXPECT_GT(x, big2);  // carved from the top of big2; the rover stops at small
    EXPECT_LT(x, big2 + 212);
    uint32_t y = VMalloc(st, 150);
    EXPECT_GT(y, big1);  // big2's rest is too small; the rover moves to big2
    EXPECT_LT(y, big1 + 212);
    // A first fit from the head would take `small`; the search resumes after
    // big2 and takes big1's 48-byte rest whole.
    uint32_t z = VMalloc(st, 20);
    EXPECT_EQ(z, big1);
    EXPECT_TRUE(heap_stats(st).intact);
}

TEST_F(HeapTest, TextCopiesAreTerminated) {
    uint32_t t = heap_copy_text(st, "abcdef", 3);
    EXPECT_STREQ(heap_text(st, t), "abc");
    uint32_t w = heap_copy_wtext(st, L"\u00e9t\u00e9!", 3);
    EXPECT_STREQ(heap_wtext(st, w), L"\u00e9t\u00e9");
    VFree(st, t);
    VFree(st, w);
    EXPECT_EQ(heap_stats(st).used_blocks, 0u);
}

// A text a reader keeps facts about is forgotten when its block is freed
// or grown, the two ways a used block's text can change.
TEST_F(HeapTest, WalkedTextIsForgottenWhenFreedOrGrown) {
    const uint32_t list = heap_copy_text(st, "a,b", 3);
    st->walked_block = list;
    const uint32_t grown = heap_append_text(st, list, 3, ",c", 2);
    EXPECT_EQ(st->walked_block, 0u);
    st->walked_block = grown;
    const uint32_t other = heap_copy_text(st, "x", 1);
    VFree(st, other);
    EXPECT_EQ(st->walked_block, grown);
    VFree(st, grown);
    EXPECT_EQ(st->walked_block, 0u);
}

}  // namespace
