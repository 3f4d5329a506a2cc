// The jump cache of GoTo and GoSub, Return at a Call level, and ForEach over
// a collection supplied through the hooks. The label search runs in
// tests/scripts/core/statements.qob, Execute's error modes in
// tests/scripts/runner/execute_modes.qob.
#include "statement_fixture.h"

#include <string>
#include "base/error_numbers.h"
#include "engine/run_loop.h"
#include "lang/host_call.h"
#include "lang/pump.h"

namespace {

class Jumps : public StatementTest {
protected:
    void SetUp() override {
        StatementTest::SetUp();
        st->last_if = -1;
    }
    // Position of the first occurrence of `what` in the script's text.
    uint32_t position_of(const std::string& script, const std::string& what) {
        const size_t at = script.find(what);
        EXPECT_NE(at, std::string::npos) << what;
        return static_cast<uint32_t>(at);
    }
    // The target a resolved jump at `position` encodes.
    uint32_t resolved_target(uint32_t position) {
        uint32_t target = 0;
        for (uint32_t i = 1; i <= 4; ++i) {
            const uint8_t digit = byte_at(position + i);
            EXPECT_GE(digit, 64);
            EXPECT_LT(digit, 128);
            target = target << 6 | (digit - 64);
        }
        return target;
    }
};

// ---------------------------------------------------------------- the jump cache

TEST_F(Jumps, GoToIsRewrittenIntoAResolvedJump) {
    const std::string script = "n = 0\nGoTo skip\nn = 100\n:skip\nn = n + 1\n";
    EXPECT_EQ(run(script), 0);
    const uint32_t statement = position_of(script, "GoTo");
    const uint32_t label = position_of(script, ":skip");
    EXPECT_EQ(byte_at(statement), 159);
    EXPECT_EQ(resolved_target(statement), label);
    EXPECT_EQ(byte_at(statement + 5), 's') << "the label word after the marker stays";

    // Without its label the buffer could not be searched any more: the
    // second pass must not search.
    const uint8_t comment = ';';
    write_script_bytes(st, buffer, label, &comment, 1);
    EXPECT_EQ(run_buffer(), 0);
    EXPECT_EQ(int_var("n"), 1);
}

TEST_F(Jumps, GoSubIsRewrittenAndStillPushesItsFrame) {
    const std::string script = "r = ''\nGoSub sub\nr = r : 'b'\nGoSub sub\nExit\n:sub\nr = r : 'a'\nReturn\n";
    EXPECT_EQ(run_error(script), TERMINATE_EXIT);
    EXPECT_EQ(text_var("r"), "aba");
    const uint32_t first = position_of(script, "GoSub");
    EXPECT_EQ(byte_at(first), 158);
    EXPECT_EQ(resolved_target(first), position_of(script, ":sub"));
    EXPECT_EQ(st->structure_depth, 0);
    st->error = 0;
    EXPECT_EQ(run_buffer(), TERMINATE_EXIT);
    EXPECT_EQ(text_var("r"), "aba") << "resolved GoSubs return like searched ones";
    EXPECT_EQ(st->structure_depth, 0);
}

TEST_F(Jumps, JumpsAreNotCachedWhenTheLineWasSubstitutedOrDoesNotStartWithThem) {
    no_jump_cache = true;
    const std::string script = "GoTo a\n:a\nIf 1 Then GoTo b\n:b\nx = 1\n";
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(byte_at(position_of(script, "GoTo a")), 'G');
    no_jump_cache = false;
    EXPECT_EQ(run_buffer(), 0);
    EXPECT_EQ(byte_at(position_of(script, "GoTo a")), 159);
    EXPECT_EQ(byte_at(position_of(script, "GoTo b")), 'G');
    EXPECT_EQ(byte_at(position_of(script, "If 1")), 'I');
}

TEST_F(Jumps, ResolvedJumpsInSkippedRegionsDoNothing) {
    const std::string script = "x = 0\nIf flag\nGoTo end\nEndIf\nx = 5\n:end\n";
    ASSERT_TRUE(set_variable_int(st, "flag", 1));
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(int_var("x"), 0);
    ASSERT_EQ(byte_at(position_of(script, "GoTo")), 159);
    ASSERT_TRUE(set_variable_int(st, "flag", 0));
    EXPECT_EQ(run_buffer(), 0);
    EXPECT_EQ(int_var("x"), 5);
}

// ---------------------------------------------------------------- GoSub and Return

TEST_F(Jumps, ReturnFromACallLevelMarksItsFrame) {
    StructureFrame call{};
    call.type = FRAME_CALL;
    call.collection = NO_SLOT;
    ASSERT_TRUE(push_frame(st, call));
    EXPECT_EQ(run("While 1\nIf 1\nReturn 7\n"), 0);
    EXPECT_EQ(outcome, -1);
    EXPECT_EQ(st->structure_depth, 1) << "frames above the Call level are gone, it stays";
    EXPECT_EQ(st->frames[0].variable, FRAME_RETURNED);
}

// ---------------------------------------------------------------- ForEach

// A stand-in collection: a VARIANT holding a count n, whose elements are
// n, n-1, ... 1.
int g_begin_calls = 0;

bool test_begin(EngineState*, Value* value) {
    ++g_begin_calls;
    if (value->v.variant.vt != VT_I4) return false;
    value->origin_index = ORIGIN_NONE;
    value->origin_table = ORIGIN_NONE;
    return true;
}

bool test_next(EngineState* st, ValuePayload* enumeration, uint16_t variable, bool* found) {
    *found = enumeration->variant.lVal > 0;
    if (!*found) return true;
    ValuePayload& target = slot_at(st, variable)->v;
    ReleaseValue(st, &target, RK_SLOT, 0);
    SetInteger(&target, RK_SLOT, 0, enumeration->variant.lVal--);
    return true;
}

class ForEach : public Jumps {
protected:
    CollectionHooks saved{};
    void SetUp() override {
        Jumps::SetUp();
        saved = g_collection_hooks;
        g_collection_hooks = {test_begin, test_next};
        g_begin_calls = 0;
    }
    void TearDown() override {
        g_collection_hooks = saved;
        Jumps::TearDown();
    }
    void make_collection(const char* name, int32_t count) {
        const uint16_t slot = find_or_create_slot(st, name, strlen(name));
        ASSERT_NE(slot, NO_SLOT);
        ValuePayload& v = slot_at(st, slot)->v;
        ReleaseValue(st, &v, RK_SLOT, 0);
        SetInteger(&v, RK_SLOT, 0, 0);
        v.flags = VF_VARIANT;
        v.variant.vt = VT_I4;
        v.variant.lVal = count;
    }
    bool hidden_variable_left() {
        for (uint16_t i = 1; i < st->table.used; ++i)
            if (strncmp(slot_at(st, i)->name, "@tempcolvar", 11) == 0) return true;
        return false;
    }
};

TEST_F(ForEach, WalksEveryElementWithOneEnumeration) {
    make_collection("coll", 3);
    EXPECT_EQ(run("r = ''\nForEach x in coll\n  r = r : x\nNext\n"), 0);
    EXPECT_EQ(text_var("r"), "321");
    EXPECT_EQ(g_begin_calls, 1) << "later passes reuse the kept collection";
    EXPECT_EQ(st->structure_depth, 0);
    EXPECT_EQ(st->in_loop, 0);
    EXPECT_FALSE(hidden_variable_left());
}

TEST_F(ForEach, BreakAndNestingReleaseTheirCollections) {
    make_collection("outer", 2);
    make_collection("inner", 3);
    EXPECT_EQ(run("r = ''\nForEach a in outer\n  ForEach b in inner\n    r = r : a : b : ' '\n"
                  "    If b == 2 Then Break\n  Next\nNext\n"), 0);
    // Each outer pass starts the inner loop afresh.
    EXPECT_EQ(text_var("r"), "23 22 13 12 ");
    EXPECT_EQ(g_begin_calls, 3);
    EXPECT_FALSE(hidden_variable_left());
}

TEST_F(ForEach, EmptyCollectionSkipsTheBody) {
    make_collection("none", 0);
    EXPECT_EQ(run("n = 0\nForEach x in none\n  n = n + 1\nNext\n"), 0);
    EXPECT_EQ(int_var("n"), 0);
    EXPECT_FALSE(hidden_variable_left());
}

TEST_F(ForEach, SyntaxAndValueErrors) {
    make_collection("coll", 1);
    const struct { const char* script; Err error; } cases[] = {
        {"ForEach\n", Err::IncompleteStatement}, {"ForEach 5 in coll\n", Err::ForEachBadSyntax},
        {"ForEach x of coll\n", Err::ForEachBadSyntax}, {"ForEach x = coll\n", Err::ForEachBadSyntax},
        {"ForEach x in\n", Err::ForEachBadSyntax},
        {"n = 5\nForEach x in n\n", Err::ForEachBadSyntax},  // not a collection
        {"ForEach x in coll coll\n", Err::ExtraAfterExpression}};
    for (const auto& c : cases) {
        EXPECT_EQ(run_error(c.script), E(c.error)) << c.script;
        st->structure_depth = 0;
    }
    g_collection_hooks = {};
    EXPECT_EQ(run_error("ForEach x in coll\n"), E(Err::OleNotCollection));
    st->structure_depth = 0;
    EXPECT_EQ(run("If 0\nForEach x in 5\nNext\nEndIf\n"), 0) << "skipped loops are not evaluated";
}

TEST_F(ForEach, GoToMayNotLeaveIt) {
    make_collection("coll", 2);
    EXPECT_EQ(run_error("ForEach x in coll\n  GoTo out\nNext\n:out\n"), E(Err::GoToInForEach));
    st->structure_depth = 0;
    // A function frame above the loop shields it.
    StructureFrame loop{};
    loop.type = FRAME_FOREACH;
    loop.collection = NO_SLOT;
    StructureFrame function = loop;
    function.type = FRAME_FUNCTION;
    ASSERT_TRUE(push_frame(st, loop));
    ASSERT_TRUE(push_frame(st, function));
    EXPECT_EQ(run("GoTo out\ny = 1\n:out\n"), 0);
    EXPECT_EQ(FindSlot(st, "y"), NO_SLOT);
}

}  // namespace
