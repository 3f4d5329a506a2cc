// Variable pointers where a script cannot look: handles wider than their
// field, a target gone from another table, a pending error, and what a read
// through a pointer copies or shares. The text layout and its validation run
// in tests/scripts/core/pointers.qob.

#include "engine_fixture.h"

#include <stdio.h>
#include <string>
#include "base/error_numbers.h"
#include "base/errors.h"
#include "base/heap.h"
#include "lang/arrays.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lang/var_pointer.h"

namespace {

class VarPointer : public EngineTest {
protected:
    HGLOBAL extra = nullptr;

    void TearDown() override {
        if (extra) discard_extra_table();
        EngineTest::TearDown();
    }

    // A second table, as a user-defined function call makes one.
    void make_extra_table(uint16_t id) {
        extra = GlobalAlloc(GHND, kCapacity * sizeof(VariableSlot));
        ASSERT_TRUE(register_table(st, id, extra, kCapacity));
        extra_id = id;
    }

    void discard_extra_table() {
        GlobalFree(extra);
        memset(&st->scopes[extra_id], 0, sizeof st->scopes[extra_id]);
        extra = nullptr;
    }

    // Creates an integer variable in table `id` and returns its pointer text.
    std::string pointer_in_table(uint16_t id, const char* name, int32_t value) {
        TableSave save;
        EXPECT_TRUE(SwitchTable(st, id, &save));
        EXPECT_TRUE(set_variable_int(st, name, value));
        std::string text = pointer_to(name);
        EXPECT_TRUE(RestoreTable(st, &save));
        return text;
    }

    int32_t read_int(const std::string& text) {
        Value v = int_value();
        if (!read_via_pointer(st, text.c_str(), &v)) return INT32_MIN;
        ReleaseValue(st, &v.v, RK_VALUE, 0);
        return v.v.integer;
    }

    int parse_error(const std::string& text) {
        VariablePointer ptr;
        EXPECT_FALSE(parse_variable_pointer(st, text.c_str(), &ptr));
        return take_error();
    }

    // A pointer text to table `id` of the current registry entry, with any name.
    std::string forged(uint16_t id, const char* name) {
        const VariableScope& s = st->scopes[id];
        char text[128];
        snprintf(text, sizeof text, "#VAR$PTR#%04X%08lX%08lX%08lX%s", id,
                 (unsigned long)(uint32_t)(uintptr_t)s.handle, (unsigned long)s.sequence,
                 (unsigned long)s.created, name);
        return text;
    }

    uint16_t extra_id = 0;
};

TEST_F(VarPointer, OnlyTheLowHandleBitsAreCompared) {
    // Registry entry 9 is never made current here, so its handle need not be real.
    VariableScope& scope = st->scopes[9];
    uintptr_t handle = 0x00005678;
#if defined(_WIN64)
    handle |= (uintptr_t)0x12 << 32;
#endif
    scope.handle = (HGLOBAL)handle;
    scope.sequence = 0xABCDEF01;
    scope.created = 0x10;
    VariablePointer ptr;
    EXPECT_TRUE(parse_variable_pointer(st, "#VAR$PTR#000900005678ABCDEF0100000010x", &ptr));
    EXPECT_EQ(ptr.table, 9);
    EXPECT_EQ(parse_error("#VAR$PTR#000900005679ABCDEF0100000010x"), E(Err::InvalidVariablePointer));
    memset(&scope, 0, sizeof scope);
    EXPECT_EQ(parse_error("#VAR$PTR#000900005678ABCDEF0100000010x"), E(Err::InvalidVariablePointer));
}

TEST_F(VarPointer, MissingTargetRestoresTheTable) {
    make_extra_table(2);
    std::string text = pointer_in_table(2, "gone", 1);
    TableSave save;
    ASSERT_TRUE(SwitchTable(st, 2, &save));
    drop_slot(st, FindSlot(st, "gone"));
    ASSERT_TRUE(RestoreTable(st, &save));

    EXPECT_EQ(read_int(text), INT32_MIN);
    EXPECT_EQ(st->error, E(Err::PointerTargetUninitialized));
    EXPECT_EQ(st->table.id, 0);
    st->error = 0;

    VariablePointer ptr;
    ASSERT_TRUE(parse_variable_pointer(st, text.c_str(), &ptr));
    uint16_t slot = 7;
    EXPECT_FALSE(enter_pointer_table(st, ptr, &save, &slot));
    EXPECT_EQ(st->table.id, 0);
    EXPECT_NE(st->table.slots, nullptr);
    st->error = 0;

    EXPECT_EQ(failed(is_variable_pointer_text(st, text.c_str())), 0);
}

TEST_F(VarPointer, RecognisingLeavesPendingErrorAlone) {
    ASSERT_TRUE(set_variable_int(st, "here", 1));
    std::string text = forged(0, "here");
    EXPECT_TRUE(is_variable_pointer_text(st, text.c_str()));
    EXPECT_FALSE(is_variable_pointer_text(st, forged(0, "nothere").c_str()));
    EXPECT_EQ(failed(is_variable_pointer_text(st, text.substr(0, 36).c_str())), 0);
    st->error = (uint16_t)Err::UndefinedVariable;
    EXPECT_TRUE(is_variable_pointer_text(st, text.c_str()));
    EXPECT_EQ(take_error(), E(Err::UndefinedVariable));
}

TEST_F(VarPointer, ReadingCopiesTextAndSharesArray) {
    ASSERT_TRUE(set_variable_text(st, "words", "hello"));
    Value v = int_value();
    ASSERT_TRUE(read_via_pointer(st, forged(0, "words").c_str(), &v));
    const VariableSlot* source = slot_at(st, FindSlot(st, "words"));
    EXPECT_STREQ(value_text(st, v.v), "hello");
    EXPECT_NE(v.v.handle, source->v.handle);  // a copy of its own, not the variable's block
    EXPECT_EQ(v.origin_index, FindSlot(st, "words"));
    EXPECT_EQ(v.origin_table, 0);
    ReleaseValue(st, &v.v, RK_VALUE, 0);
    EXPECT_STREQ(value_text(st, source->v), "hello");

    // The result may hold the very pointer text being followed.
    Value self = int_value();
    std::string text = forged(0, "words");
    ASSERT_TRUE(set_value_text(st, &self.v, text.c_str(), text.size()));
    ASSERT_TRUE(read_via_pointer(st, value_text(st, self.v), &self));
    EXPECT_STREQ(value_text(st, self.v), "hello");
    ReleaseValue(st, &self.v, RK_VALUE, 0);

    // An array is shared: its block gains one lock.
    Value made = int_value();
    ASSERT_EQ(CreateMyArray(st, &made, 2, 0, 0, 0, 0, 0, 1), 1);
    HGLOBAL block = GlobalHandle(reinterpret_cast<void*>(made.v.handle));
    ASSERT_TRUE(set_variable_int(st, "arr", 0));
    VariableSlot* arr = slot_at(st, FindSlot(st, "arr"));
    arr->v.flags = VF_ARRAY;
    arr->v.handle = made.v.handle;  // the variable takes over the creating value's share
    UINT before = GlobalFlags(block) & GMEM_LOCKCOUNT;
    Value a = int_value();
    ASSERT_TRUE(read_via_pointer(st, forged(0, "arr").c_str(), &a));
    EXPECT_EQ(a.v.handle, made.v.handle);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, before + 1);
    ReleaseValue(st, &a.v, RK_VALUE, 0);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, before);
    ReleaseValue(st, &arr->v, RK_SLOT, 0);
    EXPECT_EQ(GlobalFlags(block), (UINT)GMEM_INVALID_HANDLE);
}

}  // namespace

namespace {

// "&*p" names the variable p points to, in that variable's own table.
TEST_F(VarPointer, AddressOfAValueReadThroughAPointerKeepsItsTable) {
    make_extra_table(5);
    std::string text = pointer_in_table(5, "remote", 9);
    ASSERT_TRUE(set_variable_text(st, "p", text.c_str()));
    ASSERT_TRUE(set_variable_int(st, "filler", 1));  // the slot numbers of the tables differ
    std::string line = "q = &*p";
    lexer_start(st, line.c_str());
    get_token(st);
    Value result = int_value();
    ASSERT_EQ(ProcessSubExpression(st, &result, 1, 0), 1) << st->error;
    ReleaseValue(st, &result.v, RK_VALUE, 0);
    char q[POINTER_TEXT_MAX + 1];
    ASSERT_TRUE(GetVariableText(st, "q", q, sizeof q));
    EXPECT_EQ(std::string(q), text);
    EXPECT_EQ(st->table.id, 0);
}

}  // namespace
