// The array built-in functions where a script cannot look: heap blocks and
// handles and variant arrays. The rest is tests/scripts/arrays/array_functions.qob.
#include "array_fixture.h"

#include <oleauto.h>
#include <string>
#include "lib/dispatch.h"

namespace {

class ArrayFunctions : public ArrayLines {
protected:
    // The variable `name` holding a VARIANT array it owns.
    void MakeVariantArray(const char* name, SAFEARRAY* sa) {
        ASSERT_NE(sa, nullptr);
        ASSERT_TRUE(set_variable_int(st, name, 0));
        VariableSlot& slot = Slot(name);
        slot.v.flags = VF_VARIANT;
        slot.v.variant.vt = VT_ARRAY | VT_I4;
        slot.v.variant.parray = sa;
    }
};

TEST_F(ArrayFunctions, ArrInfoOfAVariantArray) {
    // Engine dimension 1 is the SAFEARRAY's last dimension.
    SAFEARRAYBOUND bounds[2] = {{4, 0}, {2, 1}};
    MakeVariantArray("va", SafeArrayCreate(VT_I4, 2, bounds));
    const std::pair<const char*, int32_t> cases[] = {{"ArrInfo(va, -1)", 1}, {"ArrInfo(va, 0)", 2}, {"ArrInfo(va, 1)", 2},
                                                     {"ArrInfo(va, 2)", 4}, {"ArrInfo(va, 3)", 0}, {"ArrInfo(va, 6)", 8}};
    for (const auto& c : cases) EXPECT_EQ(Int(c.first), c.second) << c.first;
    EXPECT_EQ(Error("n = ArrInfo(va, 9)"), E(Err::ArrInfoBadRequest));
    Run("Drop(va)");
}

TEST_F(ArrayFunctions, ArrInitializeGivesEachElementItsOwnText) {
    const HeapStats before = heap_stats(st);
    Run({"a = ArrDimension(2, 2)", "a[0, 1] = 'old'", "ArrInitialize(a, 'x')"});
    const ArrayHeader* a = ArrayOf("a");
    for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t j = 0; j < i; ++j) EXPECT_NE(a->elements[i].v.handle, a->elements[j].v.handle);
    // The texts are released when integers replace them; an integer that
    // also holds its text still fills integers.
    ASSERT_TRUE(set_variable_text(st, "both", "4"));
    Slot("both").v.integer = 4;
    Slot("both").v.flags |= VF_INT;
    Run("ArrInitialize(a, both)");
    EXPECT_EQ(a->elements[2].v.flags, (uint32_t)VF_INT);
    EXPECT_EQ(a->elements[2].v.integer, 4);
    Run("Drop(a, both)");
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
}

// Stands in for the COM layer: a one-dimensional SAFEARRAY becomes an
// engine array of as many elements; the VARIANT stays the variable's.
bool vector_from_safearray(EngineState* st, ValuePayload* v) {
    LONG low = 0, high = -1;
    SafeArrayGetLBound(v->variant.parray, 1, &low);
    SafeArrayGetUBound(v->variant.parray, 1, &high);
    Value made = int_value();
    if (CreateMyArray(st, &made, high - low + 1, 0, 0, 0, 0, 0, 1) < 0) return false;
    v->flags = VF_ARRAY;
    v->handle = made.v.handle;
    return true;
}

TEST_F(ArrayFunctions, ConvertedVariantArrayIsStoredBack) {
    const auto saved = g_dispatch_hooks.safearray_to_array;
    g_dispatch_hooks.safearray_to_array = vector_from_safearray;
    MakeVariantArray("va", SafeArrayCreateVector(VT_I4, 0, 3));  // the variable's to release
    EXPECT_EQ(Int("ArrInitialize(va, 9)"), 1);
    release_value(st, &result);
    g_dispatch_hooks.safearray_to_array = saved;
    ASSERT_EQ(Slot("va").v.flags, (uint32_t)VF_ARRAY);
    EXPECT_EQ(Shares("va"), 1u);
    EXPECT_EQ(Int("va[2]"), 9);
    HGLOBAL block = BlockOf("va");
    Run("Drop(va)");
    EXPECT_TRUE(Freed(block));
}

TEST_F(ArrayFunctions, SwapMovesRecordsAsTheyAre) {
    Run({"a = ArrDimension(2, 3)", "a[0, 1] = 'p'", "a[1, 2] = 5"});
    const uintptr_t text_block = ArrayOf("a")->elements[1].v.handle;
    const HeapStats before = heap_stats(st);
    EXPECT_EQ(Int("ArraySwapElements(a, 0, 1, 0, 0, 0, 1, 2, 0, 0, 0)"), 1);
    EXPECT_EQ(ArrayOf("a")->elements[5].v.handle, text_block);  // moved, not copied
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);
}

TEST_F(ArrayFunctions, FilePutLeavesTheElementsAsTheyWere) {
    const std::string path = temp_path("qar");
    ASSERT_TRUE(set_variable_text(st, "out", path.c_str()));
    Run({"a = ArrDimension(3)", "a[1] = -5"});
    ASSERT_TRUE(set_value_wtext(st, &ArrayOf("a")->elements[2].v, L"wide", 4));
    const HeapStats before = heap_stats(st);
    EXPECT_EQ(Int("ArrayFilePut(out, a)"), 3);
    DeleteFileA(path.c_str());
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
    EXPECT_EQ(ArrayOf("a")->elements[1].v.flags, (uint32_t)VF_INT);  // no text added to the element
}

}  // namespace
