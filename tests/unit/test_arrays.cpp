// Engine arrays through the evaluator: the size limit, the header, element
// numbering, sharing and release (the block and the heap given back), and
// the lexer's position around an element lookup by name. The errors of
// dimensions and subscripts run in tests/scripts/arrays/subscripts.qob,
// lookups by name in tests/scripts/intcontrol/requests.qob (IntControl 89).
#include "array_fixture.h"

#include "lang/array_access.h"

namespace {

using Arrays = ArrayLines;

// The size limit counts 44-byte cells and a 40-byte header on both targets
// (a script cannot show it cheaply: the largest array takes 5 GB on Win64).
TEST(ArraySize, LimitCountsCellsAndHeader) {
    EXPECT_TRUE(array_size_allowed(90909089));
    EXPECT_FALSE(array_size_allowed(90909090));
}

TEST_F(Arrays, CreationFillsTheHeader) {
    Run("a = ArrDimension(2, 3, 4)");
    const ArrayHeader* a = ArrayOf("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->dimensions, 3);
    EXPECT_EQ(a->sizes[0], 2u);
    EXPECT_EQ(a->sizes[2], 4u);
    EXPECT_EQ(a->sizes[3], 0u);
    EXPECT_EQ(a->element_count, 24u);
    EXPECT_EQ(a->element_bytes, 24u * sizeof(ArrayCell));
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(a->elements), reinterpret_cast<const uint8_t*>(a) + sizeof(ArrayHeader));
    EXPECT_EQ(GlobalSize(BlockOf("a")), sizeof(ArrayHeader) + 24 * sizeof(ArrayCell));
    for (uint32_t i = 0; i < a->element_count; ++i) ASSERT_EQ(a->elements[i].v.flags, 0u) << i;
    EXPECT_EQ(Slot("a").v.flags, (uint32_t)VF_ARRAY);

    Run("z = ArrDimension(0)");
    EXPECT_EQ(Int("ArrInfo(z, 0)"), 0);
    EXPECT_EQ(Int("ArrInfo(z, 6)"), 0);
    EXPECT_EQ(Error("x = z[0]"), E(Err::ArrayEmpty));
    EXPECT_EQ(Error("z[0] = 1"), E(Err::ArrayEmpty));
}

TEST_F(Arrays, CreateMyArrayResults) {
    Value v = int_value();
    // Sizes past `count` are not read; the flag byte is kept.
    EXPECT_EQ(CreateMyArray(st, &v, 4, 9, 9, 9, 9, 7, 1), 1);
    const ArrayHeader* a = array_of(v.v);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->dimensions, 1);
    EXPECT_EQ(a->element_count, 4u);
    EXPECT_EQ(a->creation_flag, 7);
    EXPECT_EQ(array_share_count(a), 1u);
    HGLOBAL block = GlobalHandle(a);
    release_value(st, &v);
    EXPECT_TRUE(Freed(block));

    EXPECT_EQ(CreateMyArray(st, &v, 0, 0, 0, 0, 0, 0, 5), 0);
    EXPECT_EQ(array_of(v.v)->dimensions, 0);
    release_value(st, &v);
    EXPECT_EQ(CreateMyArray(st, &v, 3, 0, 2, 0, 0, 0, 5), -1);
    EXPECT_EQ(take_error(), E(Err::ArrDimensionZeroBeforeNonZero));
    // The same sizes with the third not counted are a plain vector.
    EXPECT_EQ(CreateMyArray(st, &v, 3, 0, 2, 0, 0, 0, 2), 1);
    EXPECT_EQ(array_of(v.v)->element_count, 3u);
    release_value(st, &v);
}

TEST_F(Arrays, RowMajorElementNumbers) {
    Run({"a = ArrDimension(2, 3)", "a[1, 2] = 'x'", "a[0, 1] = 9"});
    const ArrayHeader* a = ArrayOf("a");
    EXPECT_STREQ(value_text(st, a->elements[5].v), "x");
    EXPECT_EQ(a->elements[1].v.integer, 9);
    EXPECT_EQ(a->elements[1].v.flags, (uint32_t)VF_INT);
    int32_t at_last[] = {1, 2};
    EXPECT_EQ(ElementIndex(a, at_last), 5u);

    Run({"c = ArrDimension(2, 3, 4)", "c[1, 2, 3] = 'end'", "c[1, 0, 1] = 'mid'"});
    const ArrayHeader* c = ArrayOf("c");
    EXPECT_STREQ(value_text(st, c->elements[23].v), "end");
    EXPECT_STREQ(value_text(st, c->elements[13].v), "mid");  // 1*12 + 0*4 + 1
    EXPECT_EQ(Text("c[1, 0, 1]"), "mid");

    Run({"f = ArrDimension(1, 1, 1, 1, 2)", "f[0, 0, 0, 0, 1] = 5"});
    EXPECT_EQ(ArrayOf("f")->elements[1].v.integer, 5);
}

TEST_F(Arrays, FailedSubscriptsLeaveNothingLocked) {
    Run("a = ArrDimension(2, 3)");
    for (const char* bad : {"x = a[2, 0]", "x = a[1]", "x = a['one', 0]", "x = a[1 2]", "a[0, 0] = a"})
        EXPECT_NE(Error(bad), 0) << bad;
    EXPECT_EQ(Shares("a"), 1u);
}

TEST_F(Arrays, ReadingCopiesTheElement) {
    Run({"a = ArrDimension(3)", "a[1] = 'first'", "x = a[1]", "a[1] = 'second'"});
    EXPECT_EQ(Text("x"), "first");
    EXPECT_EQ(Text("a[1]"), "second");
    EXPECT_EQ(result.origin_index, ORIGIN_ARRAY_CELL);
    EXPECT_EQ(result.origin_ref, &ArrayOf("a")->elements[1]);
    EXPECT_NE(result.v.handle, ArrayOf("a")->elements[1].v.handle);
    Run({"a[2] = 2.5", "a[0] = a[2] * 2"});
    EXPECT_EQ(ArrayOf("a")->elements[0].v.flags, (uint32_t)VF_FLOAT);
    EXPECT_DOUBLE_EQ(ArrayOf("a")->elements[0].v.real, 5.0);
}

TEST_F(Arrays, SharingAndRelease) {
    const HeapStats before = heap_stats(st);
    Run("a = ArrDimension(2, 3)");
    HGLOBAL block = BlockOf("a");
    EXPECT_EQ(Shares("a"), 1u);
    Run({"a[1, 1] = 'text'", "b = a"});
    EXPECT_EQ(ArrayOf("b"), ArrayOf("a"));
    EXPECT_EQ(Shares("a"), 2u);
    Run("b[0, 0] = 7");
    EXPECT_EQ(Int("a[0, 0]"), 7);
    // An argument holds the array only for the call.
    EXPECT_EQ(Int("ArrInfo(a, 6)"), 6);
    release_value(st, &result);
    EXPECT_EQ(Shares("a"), 2u);
    Run("a = a");
    EXPECT_EQ(Shares("b"), 2u);

    Run("Drop(a)");
    EXPECT_EQ(Shares("b"), 1u);
    EXPECT_EQ(Text("b[1, 1]"), "text");
    release_value(st, &result);
    EXPECT_FALSE(Freed(block));
    Run("Drop(b)");
    EXPECT_TRUE(Freed(block));
    const HeapStats after = heap_stats(st);
    EXPECT_TRUE(after.intact);
    EXPECT_EQ(after.used_blocks, before.used_blocks);
    EXPECT_EQ(after.used_bytes, before.used_bytes);
}

TEST_F(Arrays, ReassigningTheLastHolderFreesTheArray) {
    const HeapStats before = heap_stats(st);
    Run({"a = ArrDimension(4)", "a[0] = 'one'", "a[3] = 'four'"});
    HGLOBAL block = BlockOf("a");
    Run("a = 5");
    EXPECT_TRUE(Freed(block));
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
    // A temporary array that nothing holds goes when its value does.
    EXPECT_EQ(Int("ArrInfo(ArrDimension(3), 1)"), 3);
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
}

// Texts made on the way (concatenation, an overwritten value, an argument
// whose neighbour failed) go back to the heap like temporary arrays do.
TEST_F(Arrays, TemporaryTextsAreGivenBack) {
    Run("s = 'first value'");
    const HeapStats before = heap_stats(st);
    EXPECT_EQ(Text("'abc' : 12 : 3.5"), "abc123.5");
    release_value(st, &result);
    Run("s = 'second!' : ''");
    EXPECT_EQ(Error("x = StrSub('abc', 'x' + 1, 2)"), E(Err::NotConvertibleToNumber));
    const HeapStats after = heap_stats(st);
    EXPECT_TRUE(after.intact);
    EXPECT_EQ(after.used_blocks, before.used_blocks);
    Run("s = 1");
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks - 1);
}

TEST_F(Arrays, DestroyingClearsVariablesStillNamingIt) {
    Run({"a = ArrDimension(2)", "c = a"});
    // A holder that let go without being counted: the next release destroys.
    array_drop_share(st, Slot("a").v.handle);
    HGLOBAL block = BlockOf("a");
    Run("Drop(a)");
    EXPECT_TRUE(Freed(block));
    EXPECT_EQ(Slot("c").v.flags, (uint32_t)VF_ARRAY);
    EXPECT_EQ(Slot("c").v.handle, 0u);
    EXPECT_EQ(Error("n = ArrInfo(c, 0)"), E(Err::ArrayAccessError));
    EXPECT_EQ(Error("n = ArrInfo(c, -1)"), E(Err::ArrayAccessError));
}

TEST_F(Arrays, SubscriptThatDropsItsArray) {
    const HeapStats before = heap_stats(st);
    Run({"a = ArrDimension(3)", "a[1] = 'gone'"});
    HGLOBAL block = BlockOf("a");
    EXPECT_EQ(Error("x = a[Drop(a)]"), E(Err::ArrayAccessError));
    EXPECT_TRUE(Freed(block));
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
}

TEST_F(Arrays, SubscriptThroughAPointer) {
    Run({"a = ArrDimension(3)", "a[2] = 'via'", "p = &a"});
    EXPECT_EQ(Text("*p[2]"), "via");
    release_value(st, &result);
    EXPECT_EQ(Error("x = *p[3]"), E(Err::ArraySubscriptOutOfBounds));
    EXPECT_EQ(Error("x = *p[0]"), E(Err::ArrayElementUninitialized));
    // The dereferenced copy's share went with it.
    EXPECT_EQ(Shares("a"), 1u);
}

TEST_F(Arrays, ElementLookupKeepsTheLexerPosition) {
    Run({"a = ArrDimension(2)", "a[1] = 'b'"});
    line = "first second";
    lexer_start(st, line.c_str());
    get_token(st);
    char text[8];
    ASSERT_TRUE(GetVariableText(st, "a[1]", text, sizeof text));
    EXPECT_STREQ(text, "b");
    EXPECT_EQ(std::string(st->lexer.text, st->lexer.text_length), "first");
    get_token(st);
    EXPECT_EQ(std::string(st->lexer.text, st->lexer.text_length), "second");
}

TEST_F(Arrays, VariantArraysAreNotEngineArrays) {
    // A SAFEARRAY's elements belong to the COM layer; an engine value that
    // only holds the VARIANT is not read as an engine array.
    ValuePayload v = {};
    v.flags = VF_VARIANT;
    v.variant.vt = VT_ARRAY | VT_I4;
    EXPECT_EQ(array_of(v), nullptr);
    Value view = int_value();
    view.v = v;
    ArrayCell* cell = reinterpret_cast<ArrayCell*>(1);
    EXPECT_FALSE(array_subscript(st, &view, nullptr, true, &cell));
    EXPECT_EQ(cell, nullptr);
    EXPECT_EQ(take_error(), E(Err::ArrayAccessError));
}

}  // namespace
