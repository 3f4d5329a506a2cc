// Operators applied to values directly: the single entry used outside the
// evaluator, what becomes of the left operand, VARIANT operands, and the
// math-error hook with the checked library calls.
#include <math.h>
#include <string>
#include "engine_fixture.h"
#include <oleauto.h>
#include "base/errors.h"
#include "base/heap.h"
#include "lang/evaluator.h"
#include "lang/fpfault.h"
#include "lang/keyword_table.h"
#include "lang/math_faults.h"

namespace {

class Operators : public EngineTest {
protected:
    // A value owning a VARIANT, as a COM call's result does.
    Value Variant(const VARIANT& variant) {
        Value v = int_value();
        v.v.variant = variant;
        v.v.flags = VF_VARIANT;
        return v;
    }
};

TEST_F(Operators, OneEntryForEveryBinaryOperator) {
    Value a = int_value(5), b = int_value(3);
    ASSERT_TRUE(ApplyArithmetic(st, KWID_GREATER_EQUAL, &a, &b));
    EXPECT_EQ(a.v.flags, VF_INT);
    EXPECT_EQ(a.v.integer, 1);
    a = int_value(5);
    ASSERT_TRUE(ApplyArithmetic(st, KWID_LESS_EQUAL, &a, &b));
    EXPECT_EQ(a.v.integer, 0);
    a = int_value(5);
    ASSERT_TRUE(ApplyArithmetic(st, KWID_CONCAT, &a, &b));
    ASSERT_EQ(a.v.flags, VF_STRING);
    EXPECT_STREQ(value_text(st, a.v), "53");
    release_value(st, &a);
}

TEST_F(Operators, ResultReplacesTheLeftOperandAndItsTexts) {
    HeapStats before = heap_stats(st);
    Value a = text_value("3"), b = text_value("4");
    a.origin_index = 7;
    a.origin_table = 0;
    ASSERT_TRUE(ApplyArithmetic(st, KWID_PLUS, &a, &b));
    EXPECT_EQ(a.v.flags, VF_INT);
    EXPECT_EQ(a.v.integer, 7);
    EXPECT_EQ(a.origin_index, ORIGIN_NONE);
    release_value(st, &b);
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);
    // The right operand is the caller's: only representations were added.
    Value c = int_value(2), d = text_value("2.5");
    ASSERT_TRUE(ApplyArithmetic(st, KWID_STAR, &c, &d));
    EXPECT_EQ(c.v.flags, VF_FLOAT);
    EXPECT_DOUBLE_EQ(c.v.real, 5.0);
    EXPECT_NE(d.v.flags & VF_STRING, 0u);
    release_value(st, &d);
}

TEST_F(Operators, UnaryOnTextsAndBadKinds) {
    Value a = text_value("-6");
    ASSERT_TRUE(ApplyUnary(st, KWID_MINUS, &a));
    EXPECT_EQ(a.v.flags, VF_INT);
    EXPECT_EQ(a.v.integer, 6);
    Value arr = int_value();
    arr.v.flags = VF_UNDEFINED;
    EXPECT_EQ(failed(ApplyUnary(st, KWID_MINUS, &arr)), (uint16_t)Err::NotConvertibleToNumber);
}

TEST_F(Operators, VariantOperandsKeepTheirKind) {
    VARIANT r8;
    VariantInit(&r8);
    r8.vt = VT_R8;
    r8.dblVal = 2.5;
    // OLE would round 2.5 to an integer; arithmetic must see the float.
    Value a = Variant(r8), one = int_value(1);
    ASSERT_TRUE(ApplyArithmetic(st, KWID_PLUS, &a, &one));
    EXPECT_EQ(a.v.flags, VF_FLOAT);
    EXPECT_DOUBLE_EQ(a.v.real, 3.5);

    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"2.5");
    Value b = Variant(text), c = int_value(1);
    ASSERT_TRUE(ApplyArithmetic(st, KWID_PLUS, &b, &c));
    EXPECT_EQ(b.v.flags, VF_FLOAT);
    EXPECT_DOUBLE_EQ(b.v.real, 3.5);

    VARIANT i4;
    VariantInit(&i4);
    i4.vt = VT_I4;
    i4.lVal = 7;
    Value d = Variant(i4), e = text_value("7");
    ASSERT_TRUE(ApplyComparison(st, KWID_EQUAL, &d, &e));
    EXPECT_EQ(d.v.flags, VF_INT);
    EXPECT_EQ(d.v.integer, 1);
    release_value(st, &e);
}

TEST_F(Operators, CheckedCallsMapFaultsFromTheirResults) {
    g_pending_fp_error = 0;
    EXPECT_EQ(fp_call(pow, 10.0, 400.0), 1.0);
    EXPECT_EQ(g_pending_fp_error, (LONG)Err::FpOverflow);
    g_pending_fp_error = 0;
    EXPECT_EQ(fp_call(pow, 0.0, -1.0), 1.0);
    EXPECT_EQ(g_pending_fp_error, (LONG)Err::FpSingularity);
    g_pending_fp_error = 0;
    EXPECT_EQ(fp_call(sqrt, -4.0), 1.0);
    EXPECT_EQ(g_pending_fp_error, (LONG)Err::FpDomainError);
    // A clean call leaves an earlier fault pending.
    g_pending_fp_error = (LONG)Err::FpPartialLoss;
    EXPECT_EQ(fp_call(pow, 2.0, 3.0), 8.0);
    EXPECT_EQ(g_pending_fp_error, (LONG)Err::FpPartialLoss);
    EXPECT_TRUE(take_fp_fault(st));
    EXPECT_EQ(take_error(), (uint16_t)Err::FpPartialLoss);
}

}  // namespace
