// DispatchFunction with hand-made arguments: the conversions a script cannot
// watch (kinds S, W and variant, the position in the hint), the wide
// pre-scan, routing by id range, the result tidy, and a walk over every
// handler table. Conversions a script sees run in core/argument_kinds.qob.
#include <string.h>
#include <set>
#include <string>
#include "base/error_info.h"
#include "base/heap.h"
#include "builtin_fixture.h"
#include "lang/fpfault.h"
#include "lang/keyword_ids.h"
#include "lib/builtins.h"
#include "lib/dispatch.h"

namespace {

// The dispatch hooks and the extender table are put back by the unit tests'
// main after every test.
class Dispatch : public BuiltinTest {
protected:
    bool call(uint16_t id, int count) { return DispatchFunction(st, "f", false, id, &result, args, count); }
    bool call(const char* name, int count) { return call(id_named(name), count); }

    // For conversions of functions that may or may not have a handler yet:
    // only the arguments are checked, whatever the call then did.
    void convert_only(const char* name, int count) {
        (void)call(name, count);
        st->error = 0;
    }

    const wchar_t* wide_of(int i) { return value_wtext(st, args[i].v); }
};

TEST_F(Dispatch, IntegerKindFailureCountsPositions) {
    integer(1, 1);
    text(2, "1d5");  // neither integer nor float text
    EXPECT_EQ(failed(call("binaryeodset", 2)), 3057);
    EXPECT_NE(strstr(error_info_text(st), "Argument number 2 could not be converted"), nullptr) << error_info_text(st);
}

TEST_F(Dispatch, AnsiKindAddsText) {
    integer(1, 65);
    convert_only("char2num", 1);  // S
    ASSERT_TRUE(args[1].v.flags & VF_STRING);
    EXPECT_STREQ(value_text(st, args[1].v), "65");
}

TEST_F(Dispatch, WideKindWidensAnsiText) {
    text(1, "abc");
    convert_only("chrunicodetohex", 1);  // W
    ASSERT_NE(wide_of(1), nullptr);
    EXPECT_STREQ(wide_of(1), L"abc");
}

TEST_F(Dispatch, VariantKindFailsWithoutTheComLayer) {
    ExtenderFunctionTable[0] = entry_for("", KT_FUNCTION, 1, AK_VARIANT);
    integer(1, 7);
    EXPECT_EQ(failed(call(EXTENDER_ID_BASE, 1)), 3732);
}

// ------------------------------------------------------------------ wide pre-scan

TEST_F(Dispatch, OneWideTextArgumentWidensItsKindTPartners) {
    wtext(1, L"a");
    text(2, "b");
    convert_only("strcmp", 2);  // T T
    ASSERT_NE(wide_of(2), nullptr);
    EXPECT_STREQ(wide_of(2), L"b");
}

TEST_F(Dispatch, WideIntegerKindArgumentDoesNotWidenText) {
    // Only kinds T and M take part in the pre-scan: a wide text in a kind-I
    // slot (strfill's count) leaves the T argument ANSI.
    text(1, "x");
    wtext(2, L"3");
    convert_only("strfill", 2);  // T I
    EXPECT_FALSE(args[1].v.flags & VF_UNICODE);
    EXPECT_EQ(args[2].v.integer, 3);
}

// ------------------------------------------------------------------ routing

TEST_F(Dispatch, IdsWithoutHandlerRaise3046) {
    for (uint16_t id : {keyword_id("a\x01unnamed"), uint16_t(KEYWORD_COUNT), uint16_t(999),
                        uint16_t(HOST_ID_BASE), uint16_t(UDF_ID_BASE), uint16_t(EXTENDER_ID_BASE),
                        uint16_t(EXTENDER_ID_LAST + 1)}) {
        st->error = 0;
        EXPECT_FALSE(call(id, 0)) << id;
        EXPECT_EQ(st->error, 3046) << id;
    }
    // The object expression parses its own list, so it comes without conversion.
    st->error = 0;
    EXPECT_EQ(failed(DispatchFunction(st, "obj.name", true, KWID_OBJECT, &result, args, 0)), 3046);
}

TEST_F(Dispatch, TooManyArgumentsDefined) {
    KeywordEntry& entry = ExtenderFunctionTable[0] = entry_for("", KT_FUNCTION, 10 | 7 << 8);  // 17 in all
    EXPECT_EQ(failed(call(EXTENDER_ID_BASE, 0)), 3070);

    entry.value = 10 | 6 << 8;  // 16 is allowed; no extender call path yet
    st->error = 0;
    EXPECT_EQ(failed(call(EXTENDER_ID_BASE, 0)), 3046);
}

// Hooks standing in for the layers that plug in later.
void extender_storing_stale_text(EngineState* st, uint16_t, Value* result, Value*, int, bool) {
    ASSERT_TRUE(set_value_text(st, &result->v, "stale", 5));
    result->v.integer = 42;
    result->v.flags |= VF_INT;
}

TEST_F(Dispatch, NumericResultLosesAStaleText) {
    g_dispatch_hooks.extender_function = extender_storing_stale_text;
    const HeapStats before = heap_stats(st);
    ASSERT_TRUE(call(EXTENDER_ID_BASE, 0));
    EXPECT_EQ(result.v.flags, static_cast<uint32_t>(VF_INT));
    EXPECT_EQ(result.v.integer, 42);
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);  // "stale" was freed
}

void extender_leaving_fp_fault(EngineState*, uint16_t, Value*, Value*, int, bool) { record_fp_fault(1343); }

TEST_F(Dispatch, PendingFloatFaultBecomesTheError) {
    g_dispatch_hooks.extender_function = extender_leaving_fp_fault;
    EXPECT_EQ(failed(call(EXTENDER_ID_BASE, 0)), 1343);
    EXPECT_EQ(g_pending_fp_error, 0);
}

void object_expression_echo(EngineState* st, const char* token_text, Value* result) {
    ASSERT_TRUE(set_value_text(st, &result->v, token_text, strlen(token_text)));
}

TEST_F(Dispatch, ObjectExpressionReceivesTheTokenText) {
    g_dispatch_hooks.object_expression = object_expression_echo;
    ASSERT_TRUE(DispatchFunction(st, "obj.name", true, KWID_OBJECT, &result, args, 0));
    EXPECT_STREQ(value_text(st, result.v), "obj.name");
}

TEST_F(Dispatch, ResultStartsAsIntegerZero) {
    result.v.flags = VF_FLOAT;
    result.v.real = 9.5;
    result.v.integer = 9;
    ASSERT_TRUE(call("gettickcount", 0));
    EXPECT_EQ(result.v.flags, static_cast<uint32_t>(VF_INT));
    EXPECT_EQ(result.v.real, 0.0);
}

// ------------------------------------------------------------------ handler tables

TEST(BuiltinTables, EveryRowMatchesTheKeywordTable) {
    std::set<uint16_t> seen;
    size_t rows = 0;
    for (size_t f = 0; f < kBuiltinFamilyCount; ++f) {
        const BuiltinFamily& family = kBuiltinFamilies[f];
        for (size_t r = 0; r < family.count; ++r, ++rows) {
            const BuiltinRow& row = family.rows[r];
            SCOPED_TRACE(std::string(family.name) + ": " + row.name);
            ASSERT_LT(row.id, KEYWORD_COUNT);
            EXPECT_TRUE(seen.insert(row.id).second) << "id registered twice";
            EXPECT_STREQ(KeywordTable[row.id].name, row.name);
            EXPECT_EQ(KeywordTable[row.id].type, static_cast<uint32_t>(KT_FUNCTION));
            EXPECT_NE(row.handler, nullptr);
            EXPECT_EQ(builtin_handler(row.id), row.handler);
        }
    }
    EXPECT_GT(rows, 0u);
}

}  // namespace
