// Values: conversions and the flags they leave, copying with and without
// duplicated texts, origins, releasing (borrowed VARIANTs, array shares) and
// type names.

#include "lang/value.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>
#include "base/heap.h"
#include "engine_fixture.h"
#include "lang/arrays.h"
#include "lang/fpfault.h"

namespace {

class Values : public EngineTest {
protected:
    Value MakeWide(const wchar_t* text) {
        Value v = int_value();
        EXPECT_TRUE(set_value_wtext(st, &v.v, text, wcslen(text)));
        return v;
    }
    Value MakeFloat(double x) {
        Value v = int_value();
        v.v.real = x;
        v.v.flags = VF_FLOAT;
        return v;
    }
    std::string Text(const ValuePayload& v) {
        const char* text = value_text(st, v);
        return text ? text : "<none>";
    }
    uint32_t FreeBytes() {
        HeapStats stats = heap_stats(st);
        EXPECT_TRUE(stats.intact);
        return stats.free_bytes;
    }
};

// A number read from a text keeps the text (wide texts convert through ANSI).
TEST_F(Values, TextsToNumbersKeepTheirTexts) {
    const struct { Value v; bool to_float; double want; uint32_t flags; const char* text; } cases[] = {
        {text_value(" 42"), false, 42, VF_INT | VF_STRING, " 42"},
        {text_value("-2147483648"), false, INT_MIN, VF_INT | VF_STRING, "-2147483648"},
        {text_value("4.2"), true, 4.2, VF_FLOAT | VF_STRING, "4.2"},
        {MakeWide(L" 12"), false, 12, VF_INT | VF_STRING | VF_UNICODE, " 12"},
        {MakeWide(L"0.5"), true, 0.5, VF_FLOAT | VF_STRING | VF_UNICODE, "0.5"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.text);
        if (c.to_float) {
            ASSERT_TRUE(ToFloat(st, &c.v.v));
            EXPECT_DOUBLE_EQ(c.v.v.real, c.want);
        } else {
            ASSERT_TRUE(ToInteger(st, &c.v.v, false));
            EXPECT_EQ(c.v.v.integer, c.want);
        }
        EXPECT_EQ(c.v.v.flags, c.flags);
        EXPECT_EQ(Text(c.v.v), c.text);
    }
}

TEST_F(Values, TextsThatAreNotIntegers) {
    for (const char* text : {"42 ", "4.2", "1d5", "", "x"}) {
        Value v = text_value(text);
        EXPECT_FALSE(ToInteger(st, &v.v, true)) << '"' << text << '"';
        if (strcmp(text, "4.2") != 0) {
            EXPECT_FALSE(ToFloat(st, &v.v)) << '"' << text << '"';
        }
        EXPECT_EQ(v.v.flags, VF_STRING) << '"' << text << '"';
        ReleaseValue(st, &v.v, RK_VALUE, 0);
    }
    EXPECT_EQ(st->error, 0) << "conversion failures leave the error to the caller";
}

// Floats become integers only with permission, within +-2147483645, rounded
// half away from zero; a refused float stays as it was.
TEST_F(Values, FloatToInteger) {
    const struct { double x; bool allow, ok; int32_t want; } cases[] = {
        {2147483645.0, true, true, 2147483645}, {-2147483645.0, true, true, -2147483645},
        {std::nextafter(2147483645.0, 1e10), true, false, 0}, {std::nextafter(-2147483645.0, -1e10), true, false, 0},
        {1e300, true, false, 0}, {3.0, false, false, 0},
        {2.5, true, true, 3}, {-2.5, true, true, -3}, {2.4999, true, true, 2}, {-2.4999, true, true, -2},
        {0.0, true, true, 0}, {-0.4, true, true, 0}, {1e-300, true, true, 0}};
    for (const auto& c : cases) {
        Value v = MakeFloat(c.x);
        EXPECT_EQ(ToInteger(st, &v.v, c.allow), c.ok) << c.x;
        EXPECT_EQ(v.v.flags, c.ok ? VF_INT : VF_FLOAT) << c.x;
        if (c.ok) { EXPECT_EQ(v.v.integer, c.want) << c.x; }
    }
    EXPECT_EQ(st->error, 0);
}

TEST_F(Values, FloatToIntegerDropsTextsPrintedFromTheFloat) {
    uint32_t before = FreeBytes();
    Value v = MakeFloat(1.5);
    ASSERT_TRUE(ToString(st, &v.v));
    ASSERT_TRUE(ToInteger(st, &v.v, true));
    EXPECT_EQ(v.v.integer, 2);
    EXPECT_EQ(v.v.flags, VF_INT);
    EXPECT_EQ(FreeBytes(), before) << "the text \"1.5\" was not freed";
}

TEST_F(Values, FloatToIntegerDropsItsVariantBits) {
    Value v = MakeFloat(2.5);
    v.v.flags |= VF_VARIANT | VF_COMTEMP;
    v.v.variant.vt = VT_R8;
    v.v.variant.dblVal = 2.5;
    ASSERT_TRUE(ToInteger(st, &v.v, true));
    EXPECT_EQ(v.v.integer, 3);
    EXPECT_EQ(v.v.flags, VF_INT);
}

TEST_F(Values, PendingFloatingPointFaultBecomesTheError) {
    record_fp_fault(1343);
    Value v = MakeFloat(1.0);
    EXPECT_EQ(failed(ToInteger(st, &v.v, true)), 1343);
    EXPECT_EQ(g_pending_fp_error, 0);
    st->error = 0;
    EXPECT_TRUE(ToInteger(st, &v.v, true)) << "the fault is raised once";
}

TEST_F(Values, NumbersToString) {
    Value i = int_value(-17);
    ASSERT_TRUE(ToString(st, &i.v));
    EXPECT_EQ(Text(i.v), "-17");
    EXPECT_EQ(i.v.flags, VF_INT | VF_STRING);
    ReleaseValue(st, &i.v, RK_VALUE, 0);
    EXPECT_EQ(i.v.flags, VF_INT) << "release leaves the other bits";
    EXPECT_EQ(i.v.handle, 0u);

    Value f = MakeFloat(2.0);
    ASSERT_TRUE(ToString(st, &f.v));
    EXPECT_EQ(Text(f.v), "2.0");
    EXPECT_EQ(f.v.flags, VF_FLOAT | VF_STRING);
    ReleaseValue(st, &f.v, RK_VALUE, 0);

    st->decimals = 2;
    Value g = MakeFloat(3.14159);
    ASSERT_TRUE(ToUnicode(st, &g.v));
    EXPECT_STREQ(value_wtext(st, g.v), L"3.14");
    ReleaseValue(st, &g.v, RK_VALUE, 0);
}

TEST_F(Values, UnicodeAndAnsiRoundTripInCodePage1252) {
    st->code_page = 1252;
    // e acute, the euro sign (0x80 in 1252) and y diaeresis.
    const char ansi[] = "caf\xE9 \x80 \xFF";
    const wchar_t wide[] = L"caf\u00E9 \u20AC \u00FF";
    Value v = text_value(ansi);
    ASSERT_TRUE(ToUnicode(st, &v.v));
    EXPECT_EQ(v.v.flags, VF_STRING | VF_UNICODE);
    EXPECT_STREQ(value_wtext(st, v.v), wide);
    ReleaseValue(st, &v.v, RK_VALUE, 0);

    Value w = MakeWide(wide);
    ASSERT_TRUE(ToString(st, &w.v));
    EXPECT_EQ(Text(w.v), ansi);
    ReleaseValue(st, &w.v, RK_VALUE, 0);

    Value empty = MakeWide(L"");
    ASSERT_TRUE(ToString(st, &empty.v));
    EXPECT_EQ(Text(empty.v), "");
    ReleaseValue(st, &empty.v, RK_VALUE, 0);
}

TEST_F(Values, SetValueTextReplacesTheValue) {
    uint32_t before = FreeBytes();
    Value v = text_value("first");
    ASSERT_TRUE(set_value_text(st, &v.v, "second!", 6));
    EXPECT_EQ(Text(v.v), "second");
    EXPECT_EQ(v.v.flags, VF_STRING);
    ASSERT_TRUE(set_value_wtext(st, &v.v, L"w", 1));
    EXPECT_EQ(v.v.flags, VF_UNICODE);
    EXPECT_EQ(v.v.handle, 0u);
    ReleaseValue(st, &v.v, RK_VALUE, 0);
    EXPECT_EQ(FreeBytes(), before);
}

TEST_F(Values, CopySharesTextsUnlessAskedToDuplicate) {
    uint32_t before = FreeBytes();
    Value source = text_value("shared");
    ASSERT_TRUE(ToUnicode(st, &source.v));
    Value shared;
    ASSERT_TRUE(CopyValue(st, &source.v, &shared.v, 0, copy_mode(RK_VALUE, RK_VALUE)));
    EXPECT_EQ(shared.v.handle, source.v.handle);
    EXPECT_EQ(shared.v.whandle, source.v.whandle);

    Value own;
    ASSERT_TRUE(CopyValue(st, &source.v, &own.v, 0, copy_mode(RK_VALUE, RK_VALUE) | VM_DUP_TEXT));
    EXPECT_NE(own.v.handle, source.v.handle);
    EXPECT_NE(own.v.whandle, source.v.whandle);
    EXPECT_EQ(Text(own.v), "shared");
    EXPECT_STREQ(value_wtext(st, own.v), L"shared");
    EXPECT_EQ(own.v.flags, source.v.flags);

    ReleaseValue(st, &own.v, RK_VALUE, 0);
    ReleaseValue(st, &source.v, RK_VALUE, 0);
    EXPECT_EQ(FreeBytes(), before);
}

TEST_F(Values, CopyIntoSlotAndCell) {
    uint32_t before = FreeBytes();
    Value source = text_value("abc");
    VariableSlot slot = {};
    ArrayCell cell = {};
    ASSERT_TRUE(CopyValue(st, &source.v, &slot.v, 0, copy_mode(RK_VALUE, RK_SLOT) | VM_DUP_TEXT));
    ASSERT_TRUE(CopyValue(st, &slot.v, &cell.v, 0, copy_mode(RK_SLOT, RK_CELL) | VM_DUP_TEXT));
    EXPECT_EQ(Text(cell.v), "abc");
    ReleaseValue(st, &source.v, RK_VALUE, 0);
    ReleaseValue(st, &slot.v, RK_SLOT, 0);
    EXPECT_EQ(Text(cell.v), "abc") << "the cell's text is its own";
    ReleaseValue(st, &cell.v, RK_CELL, 0);
    EXPECT_EQ(FreeBytes(), before);
}

TEST_F(Values, CopyOrigins) {
    VariableSlot slot = {};
    SetInteger(&slot.v, RK_SLOT, 0, 5);
    Value v;
    uint16_t saved_id = st->table.id;
    st->table.id = 7;
    ASSERT_TRUE(CopyValue(st, &slot.v, &v.v, 12, copy_mode(RK_SLOT, RK_VALUE)));
    EXPECT_EQ(v.origin_ref, nullptr);
    EXPECT_EQ(v.origin_index, 12);
    EXPECT_EQ(v.origin_table, 7) << "the current table without VM_TABLE_IN_ID";
    st->table.id = saved_id;

    ASSERT_TRUE(CopyValue(st, &slot.v, &v.v, 0x00030009, copy_mode(RK_SLOT, RK_VALUE) | VM_TABLE_IN_ID));
    EXPECT_EQ(v.origin_index, 9);
    EXPECT_EQ(v.origin_table, 3);
    EXPECT_EQ(v.v.integer, 5);

    ArrayCell cell = {};
    SetInteger(&cell.v, RK_CELL, 0, 1);
    ASSERT_TRUE(CopyValue(st, &cell.v, &v.v, 0, copy_mode(RK_CELL, RK_VALUE)));
    EXPECT_EQ(v.origin_ref, &cell);
    EXPECT_EQ(v.origin_index, ORIGIN_ARRAY_CELL);
    EXPECT_EQ(v.origin_table, ORIGIN_NONE);

    Value w = int_value();
    ASSERT_TRUE(CopyValue(st, &v.v, &w.v, 0, copy_mode(RK_VALUE, RK_VALUE)));
    EXPECT_EQ(w.origin_ref, &cell);
    EXPECT_EQ(w.origin_index, ORIGIN_ARRAY_CELL);
}

TEST_F(Values, FailedDuplicateRaises3096AndSharesNothing) {
    Value source = text_value("needs a copy");
    // Stop the heap from growing, then use up what is free.
    uint32_t committed = st->heap_committed;
    st->heap_committed = 0xFFFFFF00u;
    std::vector<uint32_t> blocks;
    for (uint32_t size : {4096u, 256u, 0u})
        for (uint32_t b; (b = VMalloc(st, size)) != 0;) blocks.push_back(b);

    Value copy;
    EXPECT_EQ(failed(CopyValue(st, &source.v, &copy.v, 0, copy_mode(RK_VALUE, RK_VALUE) | VM_DUP_TEXT)), 3096);
    EXPECT_EQ(copy.v.flags & VF_STRING, 0u);
    EXPECT_EQ(copy.v.handle, 0u);

    st->error = 0;
    Value number = int_value(5);
    EXPECT_EQ(failed(ToString(st, &number.v)), 3096);
    EXPECT_EQ(number.v.flags, VF_INT);

    for (uint32_t b : blocks) VFree(st, b);
    st->heap_committed = committed;
    ReleaseValue(st, &source.v, RK_VALUE, 0);
    EXPECT_TRUE(heap_stats(st).intact);
}

Value MakeVariant(VARTYPE vt, double real = 0) {
    Value v = int_value();
    v.v.flags = VF_VARIANT;
    v.v.variant.vt = vt;
    v.v.variant.dblVal = real;
    return v;
}
Value MakeBstrVariant(const wchar_t* text) {
    Value v = MakeVariant(VT_BSTR);
    v.v.variant.bstrVal = SysAllocString(text);
    return v;
}

TEST_F(Values, ReleaseKeepsABorrowedVariant) {
    Value v = MakeBstrVariant(L"kept");
    v.origin_index = 3;  // read from variable slot 3
    v.origin_table = 0;
    ReleaseValue(st, &v.v, RK_VALUE, 0);
    EXPECT_EQ(v.v.flags, VF_VARIANT);
    ASSERT_EQ(v.v.variant.vt, VT_BSTR);
    EXPECT_STREQ(v.v.variant.bstrVal, L"kept");

    v.origin_index = ORIGIN_NONE;  // now a computed value that owns it
    ReleaseValue(st, &v.v, RK_VALUE, VM_KEEP_VARIANT);
    EXPECT_EQ(v.v.variant.vt, VT_BSTR);
    ReleaseValue(st, &v.v, RK_VALUE, 0);
    EXPECT_EQ(v.v.variant.vt, VT_EMPTY);
    EXPECT_EQ(v.v.flags, 0u);
}

TEST_F(Values, ReleaseOfSlotOrCellAlwaysClearsTheVariant) {
    VariableSlot slot = {};
    Value v = MakeBstrVariant(L"x");
    slot.v = v.v;
    slot.v.flags = VF_COMOBJ;  // the bits go together
    ReleaseValue(st, &slot.v, RK_SLOT, 0);
    EXPECT_EQ(slot.v.flags, 0u);
    EXPECT_EQ(slot.v.variant.vt, VT_EMPTY);
}

TEST_F(Values, DuplicatedVariantIsIndependent) {
    Value source = MakeBstrVariant(L"text");
    Value copy;
    ASSERT_TRUE(CopyValue(st, &source.v, &copy.v, 0, copy_mode(RK_VALUE, RK_VALUE) | VM_DUP_VARIANT));
    ASSERT_EQ(copy.v.variant.vt, VT_BSTR);
    EXPECT_NE(copy.v.variant.bstrVal, source.v.variant.bstrVal);
    ReleaseValue(st, &copy.v, RK_VALUE, 0);
    EXPECT_STREQ(source.v.variant.bstrVal, L"text");
    ReleaseValue(st, &source.v, RK_VALUE, 0);
}

TEST_F(Values, VariantsConvertThroughOle) {
    Value v = MakeBstrVariant(L"17");
    ASSERT_TRUE(ToInteger(st, &v.v, false));
    EXPECT_EQ(v.v.integer, 17);
    EXPECT_EQ(v.v.flags, VF_VARIANT | VF_INT);
    ASSERT_TRUE(ToString(st, &v.v));
    EXPECT_EQ(Text(v.v), "17");
    ReleaseValue(st, &v.v, RK_VALUE, 0);

    Value r = MakeVariant(VT_R8, 3.0);
    ASSERT_TRUE(ToString(st, &r.v));
    EXPECT_EQ(Text(r.v), "3.0") << "a whole VT_R8 still reads as a float";
    ASSERT_TRUE(ToFloat(st, &r.v));
    EXPECT_EQ(r.v.real, 3.0);
    ReleaseValue(st, &r.v, RK_VALUE, 0);

    Value null = MakeVariant(VT_NULL);
    ASSERT_TRUE(ToString(st, &null.v));
    EXPECT_EQ(Text(null.v), "");
    ReleaseValue(st, &null.v, RK_VALUE, 0);

    Value bad = MakeBstrVariant(L"abc");
    EXPECT_EQ(failed(ToInteger(st, &bad.v, false)), 0);
    ReleaseValue(st, &bad.v, RK_VALUE, 0);
}

// The share count is the lock count of the array's global block, which
// also keeps one lock of its own.
TEST_F(Values, ArrayShares) {
    Value a = int_value();
    ASSERT_EQ(CreateMyArray(st, &a, 2, 0, 0, 0, 0, 0, 1), 1);
    HGLOBAL block = GlobalHandle(reinterpret_cast<void*>(a.v.handle));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 2u);

    Value holder;
    ASSERT_TRUE(CopyValue(st, &a.v, &holder.v, 0, copy_mode(RK_VALUE, RK_VALUE) | VM_SHARE_ARRAY));
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 3u);
    ASSERT_TRUE(CopyValue(st, &a.v, &holder.v, 0, copy_mode(RK_VALUE, RK_VALUE)));
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 3u) << "no share without VM_SHARE_ARRAY";

    ReleaseValue(st, &holder.v, RK_VALUE, VM_KEEP_ARRAY);
    EXPECT_EQ(holder.v.flags, VF_ARRAY);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 3u);
    ReleaseValue(st, &holder.v, RK_VALUE, 0);
    EXPECT_EQ(holder.v.flags, 0u);
    EXPECT_EQ(holder.v.handle, 0u);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 2u);

    // The last holder's release frees the block.
    ReleaseValue(st, &a.v, RK_VALUE, 0);
    EXPECT_EQ(GlobalFlags(block), (UINT)GMEM_INVALID_HANDLE);
}

std::string Type(uint32_t flags, VARTYPE vt = VT_EMPTY) {
    char buffer[64];
    TypeName(flags, vt, buffer, sizeof buffer);
    return buffer;
}

// Names in a fixed order; bits no name explains (FILE needs the integer
// bit) are UNKNOWN, and a short buffer keeps what fits.
TEST(ValueTypeNames, CombinationsUnexplainedBitsAndShortBuffers) {
    const std::pair<uint32_t, const char*> cases[] = {
        {VF_INT | VF_STRING, "INT/STRING"}, {VF_FILE | VF_STRING, "STRING/FILE"},
        {VF_FLOAT | VF_UNICODE | VF_STRING, "STRING/FLOAT/UNICODE"}, {VF_INT | VF_FILE_BIT | VF_BINBUF_BIT, "FILE/BINBUF"},
        {VF_COMOBJ | VF_COMTEMP | VF_STRING, "STRING/COMOBJ/COMTEMP"}, {VF_UNINITIALIZED | VF_INT, "INT"},
        {0x10, "UNKNOWN"}, {VF_FILE_BIT, "UNKNOWN"}, {VF_COMOBJ_BIT, "UNKNOWN"}};
    for (const auto& c : cases) EXPECT_EQ(Type(c.first), c.second) << std::hex << c.first;
    char small[4];
    TypeName(VF_INT | VF_STRING, VT_EMPTY, small, sizeof small);
    EXPECT_STREQ(small, "INT");
}

}  // namespace
