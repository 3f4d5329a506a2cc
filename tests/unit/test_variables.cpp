// Variable tables: lookup, creation and reuse of slots, folding of outside
// names, reading and setting by name, and switching between tables.

#include "engine_fixture.h"

#include <string>
#include "base/error_info.h"
#include "base/error_numbers.h"
#include "base/heap.h"

namespace {

class Variables : public EngineTest {
protected:
    uint16_t create(const char* lowered) { return find_or_create_slot(st, lowered, strlen(lowered)); }

};

TEST_F(Variables, SlotZeroIsNeverFoundByName) {
    // The lexer parks dereference names in slot 0; no lookup may find them.
    VariableSlot* zero = slot_at(st, 0);
    strcpy(zero->name, "scratch");
    zero->v.flags = VF_INT;
    EXPECT_EQ(FindSlot(st, "scratch"), NO_SLOT);
    EXPECT_EQ(find_var(st, "scratch", 0), NO_SLOT);
    EXPECT_EQ(st->error, (uint16_t)Err::UndefinedVariable);
    EXPECT_EQ(create("scratch"), 1);
    zero->name[0] = '\0';
    zero->v.flags = VF_UNINITIALIZED;
}

TEST_F(Variables, FindVarTellsUndefinedFromUninitialized) {
    EXPECT_EQ(find_var(st, "nothing", 1), NO_SLOT);
    EXPECT_EQ(st->error, (uint16_t)Err::UndefinedVariable);
    EXPECT_STREQ(error_info_text(st), "");
    take_error();

    uint16_t index = create("fresh");
    EXPECT_EQ(find_var(st, "fresh", 0), NO_SLOT);
    EXPECT_EQ(st->error, (uint16_t)Err::UninitializedVariable);
    EXPECT_STREQ(error_info_text(st), "");
    take_error();

    EXPECT_EQ(find_var(st, "FRESH", 1), NO_SLOT);
    EXPECT_STREQ(error_info_text(st), "Uninitialized variable or undefined function:\n\n    FRESH");
    take_error();

    // A structure that is skipping its lines stays quiet.
    st->structure_depth = 1;
    st->frames[0].state = 2;
    EXPECT_EQ(find_var(st, "fresh", 1), NO_SLOT);
    EXPECT_EQ(st->error, (uint16_t)Err::UninitializedVariable);
    EXPECT_STREQ(error_info_text(st), "");
    st->structure_depth = 0;
    take_error();

    ASSERT_TRUE(set_variable_int(st, "Fresh", 5));
    EXPECT_EQ(find_var(st, "fReSh", 1), index);
    EXPECT_EQ(st->error, 0);
}

TEST_F(Variables, NamesOverThirtyCharactersAreNeverFound) {
    ASSERT_TRUE(set_variable_int(st, "abcdefghijklmnopqrstuvwxyz0123", 1));
    EXPECT_NE(FindSlot(st, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"), NO_SLOT);
    EXPECT_EQ(FindSlot(st, "abcdefghijklmnopqrstuvwxyz01234"), NO_SLOT);
    EXPECT_EQ(FindSlot(st, "abcdefghijklmnopqrstuvwxyz012"), NO_SLOT);
}

TEST_F(Variables, HighestEmptySlotIsReusedFirst) {
    for (const char* name : {"a", "b", "c", "d"}) ASSERT_EQ(create(name), name[0] - 'a' + 1);
    drop_slot(st, 2);
    drop_slot(st, 3);
    EXPECT_EQ(st->table.used, 5);
    EXPECT_EQ(create("e"), 3);
    EXPECT_EQ(create_slot(st, "f", 1), 2);
    EXPECT_EQ(create("g"), 5);
    EXPECT_EQ(st->table.used, 6);
    EXPECT_EQ(create("d"), 4);
}

TEST_F(Variables, DroppingTheTopSlotShrinksTheCountByOne) {
    for (const char* name : {"a", "b", "c"}) create(name);
    drop_slot(st, 2);
    EXPECT_EQ(st->table.used, 4);
    drop_slot(st, 3);
    // Slot 2 below is empty too, but stays counted.
    EXPECT_EQ(st->table.used, 3);
    EXPECT_EQ(FindSlot(st, "c"), NO_SLOT);
    EXPECT_EQ(FindSlot(st, "a"), 1);
}

TEST_F(Variables, FoldingWrapsLongNamesToPositionFive) {
    const std::string base = "Abcdefghijklmnopqrstuvwxyz0123";  // 30 characters
    char folded[VARIABLE_NAME_BYTES];
    FoldName(base.c_str(), folded);
    EXPECT_STREQ(folded, "abcdefghijklmnopqrstuvwxyz0123");

    // Character 31 lands on position 5: 'f' + 'X' lower-cased = 0x66 + 0x78.
    FoldName((base + "X").c_str(), folded);
    std::string expected = "abcde";
    expected += static_cast<char>(0xDE);
    expected += "ghijklmnopqrstuvwxyz0123";
    EXPECT_EQ(std::string(folded), expected);

    // The first byte keeps its case when its high bit is set.
    FoldName("\xC9Q", folded);
    EXPECT_STREQ(folded, "\xC9q");

    // 25 more characters fill positions 5..29 once; the 56th wraps to 5 again,
    // so swapping the two extra letters gives the same sums.
    const std::string filler(24, 'z');
    const std::string one = base + "a" + filler + "b";
    const std::string two = base + "b" + filler + "a";
    ASSERT_TRUE(set_variable_int(st, one.c_str(), 77));
    EXPECT_EQ(text_var(two.c_str()), "77");
    std::string by_hand = "abcde";
    by_hand += static_cast<char>(('f' + 'a' + 'b') & 0xFF);
    for (char c : std::string("ghijklmnopqrstuvwxyz0123")) by_hand += static_cast<char>((c + 'z') & 0xFF);
    EXPECT_NE(FindSlot(st, by_hand.c_str()), NO_SLOT);
}

// What each kind reads as runs in tests/scripts/intcontrol/requests.qob
// (IntControl 89); here what a script cannot see.
TEST_F(Variables, VariableTextLeavesAPendingErrorAndFitsItsBuffer) {
    ASSERT_TRUE(set_variable_text(st, "s", "some text"));
    ASSERT_TRUE(SetVariable(st, "w", VF_UNICODE, L"wide"));
    // A lookup for the engine's own purposes never disturbs a pending error.
    st->error = 1234;
    EXPECT_EQ(text_var("missing"), "<none>");
    EXPECT_EQ(take_error(), 1234);

    char small[4];
    ASSERT_TRUE(GetVariableText(st, "s", small, sizeof small));
    EXPECT_STREQ(small, "som");
    ASSERT_TRUE(GetVariableText(st, "w", small, sizeof small));
    EXPECT_STREQ(small, "wid");
}

TEST_F(Variables, SetVariableOverwritesWithItsOwnText) {
    ASSERT_TRUE(set_variable_text(st, "s", "keep me"));
    uint16_t index = FindSlot(st, "s");
    const char* own = value_text(st, slot_at(st, index)->v);
    ASSERT_TRUE(set_variable_text(st, "S", own));
    EXPECT_EQ(FindSlot(st, "s"), index);
    EXPECT_EQ(slot_at(st, index)->v.flags, (uint32_t)VF_STRING);
    EXPECT_EQ(text_var("s"), "keep me");
    ASSERT_TRUE(set_variable_int(st, "s", 3));
    EXPECT_EQ(slot_at(st, index)->v.flags, (uint32_t)VF_INT);
    EXPECT_EQ(slot_at(st, index)->v.handle, 0u);
}

// A second table, registered and released by each test.
class VariableTables : public Variables {
protected:
    static constexpr uint16_t kOtherId = 5;
    HGLOBAL other = nullptr;

    void make_other(uint16_t capacity) {
        other = GlobalAlloc(GHND, capacity * KESTR_VARIABLE_SLOT_BYTES);
        ASSERT_NE(other, nullptr);
        ASSERT_TRUE(register_table(st, kOtherId, other, capacity));
    }

    void TearDown() override {
        st->scopes[kOtherId] = VariableScope{};
        if (other) GlobalFree(other);
        Variables::TearDown();
    }
};

TEST_F(VariableTables, SwitchAndRestoreKeepEachTablesVariables) {
    make_other(10);
    EXPECT_NE(st->scopes[kOtherId].sequence, st->scopes[0].sequence);
    ASSERT_TRUE(set_variable_int(st, "x", 1));
    const uint16_t main_used = st->table.used;

    TableSave save;
    ASSERT_TRUE(SwitchTable(st, kOtherId, &save));
    EXPECT_EQ(st->table.id, kOtherId);
    EXPECT_EQ(st->table.used, 1);
    EXPECT_EQ(FindSlot(st, "x"), NO_SLOT);
    ASSERT_TRUE(set_variable_int(st, "x", 2));
    ASSERT_TRUE(set_variable_int(st, "y", 3));
    ASSERT_TRUE(RestoreTable(st, &save));

    EXPECT_EQ(st->table.id, 0);
    EXPECT_EQ(st->table.used, main_used);
    EXPECT_EQ(st->scopes[kOtherId].used, 3);
    EXPECT_EQ(text_var("x"), "1");

    ASSERT_TRUE(SwitchTable(st, kOtherId, &save));
    EXPECT_EQ(text_var("x"), "2");
    EXPECT_EQ(text_var("y"), "3");
    ASSERT_TRUE(RestoreTable(st, &save));
}

TEST_F(VariableTables, FailedSwitchesLeaveTheTableCurrent) {
    TableSave save;
    EXPECT_EQ(failed(SwitchTable(st, 101, &save)), (uint16_t)Err::PointerAccessFailed);
    st->error = 0;
    EXPECT_FALSE(SwitchTable(st, 7, &save));  // never registered
    EXPECT_EQ(take_error(), (uint16_t)Err::PointerAccessFailed);
    EXPECT_EQ(st->current_scope, 0);
    ASSERT_TRUE(set_variable_int(st, "still", 1));

    save.scope = 7;
    EXPECT_EQ(failed(RestoreTable(st, &save)), (uint16_t)Err::VariableTableError);
    EXPECT_EQ(text_var("still"), "1");
}

TEST_F(VariableTables, FullTableRaises3097AndKeepsItsCount) {
    // Capacity 4: slot 0 is reserved and the top slot is never handed out.
    make_other(4);
    TableSave save;
    ASSERT_TRUE(SwitchTable(st, kOtherId, &save));
    EXPECT_EQ(create("a"), 1);
    EXPECT_EQ(create("b"), 2);
    EXPECT_EQ(create("c"), NO_SLOT);
    EXPECT_EQ(st->error, (uint16_t)Err::OutOfVariableMemory);
    EXPECT_EQ(st->table.used, 3);
    st->error = 0;
    EXPECT_EQ(failed(set_variable_text(st, "c", "text")), (uint16_t)Err::OutOfVariableMemory);
    st->error = 0;

    drop_slot(st, 1);
    EXPECT_EQ(create("c"), 1);
    ASSERT_TRUE(RestoreTable(st, &save));
}

TEST_F(Variables, NestedLocksKeepTheSlotsUntilTheLastUnlock) {
    ASSERT_TRUE(lock_current_table(st));
    unlock_current_table(st);
    EXPECT_NE(st->table.slots, nullptr);
    unlock_current_table(st);
    EXPECT_EQ(st->table.slots, nullptr);
    ASSERT_TRUE(lock_current_table(st));
}

}  // namespace
