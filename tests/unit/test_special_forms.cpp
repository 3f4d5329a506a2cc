// Special forms fed through the lexer where a script cannot look: the
// assignment target and pointers across tables, VARIANT operands, and the
// pointer forms inside a function's table. The main-script forms run in
// tests/scripts/core/special_forms.qob, PtrPersistent in
// tests/scripts/functions/persistent.qob.

#include "engine_fixture.h"

#include <string>
#include "base/error_info.h"
#include "base/error_numbers.h"
#include "base/heap.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lang/special_forms.h"
#include "lang/var_pointer.h"

namespace {

class SpecialForms : public EngineTest {
protected:
    Value result;
    HGLOBAL extra = nullptr;
    TableSave main_save = {};

    void SetUp() override {
        EngineTest::SetUp();
        SetInteger(&result.v, RK_VALUE, 0, 0);
    }

    void TearDown() override {
        if (st) ReleaseValue(st, &result.v, RK_VALUE, 0);
        if (extra) leave_function_table();
        EngineTest::TearDown();
    }

    // Runs the special form at the start of `line` directly.
    bool form(const char* line) {
        ReleaseValue(st, &result.v, RK_VALUE, 0);
        SetInteger(&result.v, RK_VALUE, 0, 0);
        lexer_start(st, line);
        get_token(st);
        if (st->error) return false;
        return EvaluateSpecialForm(st, st->lexer.id, &result);
    }

    int32_t form_int(const char* line) {
        EXPECT_TRUE(form(line)) << line << ": error " << st->error;
        EXPECT_EQ(result.v.flags & VF_INT, (uint32_t)VF_INT) << line;
        return result.v.integer;
    }

    std::string form_text(const char* line) {
        if (!form(line)) return "<error " + std::to_string(st->error) + ">";
        const char* text = value_text(st, result.v);
        return text ? text : "<no text>";
    }

    // The error number a line raises; the error and its extra text are cleared.
    int form_error(const char* line) {
        EXPECT_FALSE(form(line)) << line;
        info = error_info_text(st);
        return take_error();
    }

    void set_flags(const char* name, uint32_t flags) {
        ASSERT_TRUE(set_variable_int(st, name, 3));
        slot_at(st, FindSlot(st, name))->v.flags = flags;
    }

    // A private table made current, as a user-defined function's call does.
    void enter_function_table(uint16_t id) {
        extra = GlobalAlloc(GHND, kCapacity * sizeof(VariableSlot));
        ASSERT_TRUE(register_table(st, id, extra, kCapacity));
        ASSERT_TRUE(SwitchTable(st, id, &main_save));
    }

    // The function returns: its variables go and its registry entry is freed.
    void leave_function_table() {
        if (st->table.handle == extra) {
            for (uint16_t i = st->table.used; i-- > 1;) drop_slot(st, i);
            ASSERT_TRUE(RestoreTable(st, &main_save));
        }
        for (VariableScope& scope : st->scopes)
            if (scope.handle == extra) memset(&scope, 0, sizeof scope);
        GlobalFree(extra);
        extra = nullptr;
    }

    std::string info;
};

// ------------------------------------------------------------------ Drop

TEST_F(SpecialForms, DropSparesTheAssignmentTarget) {
    ASSERT_TRUE(set_variable_int(st, "keep", 4));
    ASSERT_TRUE(set_variable_int(st, "other", 5));
    st->assign_table = 0;
    st->assign_slot = FindSlot(st, "keep");
    EXPECT_EQ(form_int("Drop(keep, other)"), 1);
    EXPECT_NE(FindSlot(st, "keep"), NO_SLOT);
    EXPECT_EQ(FindSlot(st, "other"), NO_SLOT);

    // The same slot number in another table is not the target.
    enter_function_table(2);
    ASSERT_TRUE(set_variable_int(st, "keep", 6));
    st->assign_slot = FindSlot(st, "keep");
    EXPECT_EQ(form_int("Drop(keep)"), 1);
    EXPECT_EQ(FindSlot(st, "keep"), NO_SLOT);
    st->assign_table = st->assign_slot = NO_SLOT;
}

TEST_F(SpecialForms, DropThroughPointer) {
    enter_function_table(3);
    ASSERT_TRUE(set_variable_int(st, "target", 8));
    const std::string text = pointer_to("target");
    ASSERT_TRUE(RestoreTable(st, &main_save));
    ASSERT_TRUE(set_variable_text(st, "p", text.c_str()));
    ASSERT_TRUE(set_variable_int(st, "target", 9));  // same name in the main table

    EXPECT_EQ(form_int("Drop(*p)"), 1);
    EXPECT_EQ(st->table.id, 0);
    EXPECT_NE(FindSlot(st, "target"), NO_SLOT);
    EXPECT_NE(FindSlot(st, "p"), NO_SLOT);
    EXPECT_FALSE(is_variable_pointer_text(st, text.c_str()));
    // The pointed-to variable is gone now: dropping it again is no error.
    EXPECT_EQ(form_int("Drop(*p)"), 1);

    ASSERT_TRUE(set_variable_int(st, "n", 1));
    EXPECT_EQ(form_error("Drop(*n)"), E(Err::NotVariablePointer));
    EXPECT_EQ(form_error("Drop(*nowhere)"), E(Err::UndefinedVariable));
}

// ------------------------------------------------------------------ IsDefined, VarType, ObjectTypeGet

TEST_F(SpecialForms, SubscriptedArrayOperand) {
    // A VARIANT holding a SAFEARRAY is subscriptable without the engine's own arrays.
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 3);
    ASSERT_NE(array, nullptr);
    LONG index = 1, seven = 7;
    ASSERT_EQ(SafeArrayPutElement(array, &index, &seven), S_OK);
    set_flags("va", VF_VARIANT);
    VariableSlot* va = slot_at(st, FindSlot(st, "va"));
    va->v.variant.vt = VT_ARRAY | VT_I4;
    va->v.variant.parray = array;

    EXPECT_EQ(form_int("VarType(va)"), (int32_t)VF_VARIANT);
    // With subscripts the element answers, never the whole array.
    if (form("VarType(va[1])")) {
        EXPECT_NE(result.v.integer, (int32_t)VF_VARIANT);
        EXPECT_NE(result.v.integer, 0);
        EXPECT_EQ(st->lexer.kind, TK_END);
    } else {
        EXPECT_EQ(take_error(), E(Err::ArrayAccessError));  // element access not there yet
    }
    va->v.flags = 0;
    va->v.variant.vt = VT_EMPTY;
    SafeArrayDestroy(array);

    // A "[" after a variable that holds no array is simply a missing ")".
    ASSERT_TRUE(set_variable_int(st, "plain", 1));
    EXPECT_EQ(form_error("VarType(plain[0])"), E(Err::WrongArgumentCount));
}

TEST_F(SpecialForms, ObjectTypeGet) {
    set_flags("v", VF_VARIANT);
    slot_at(st, FindSlot(st, "v"))->v.variant.vt = VT_BSTR;
    EXPECT_EQ(form_text("ObjectTypeGet(v)"), "BSTR");
    slot_at(st, FindSlot(st, "v"))->v.variant.vt = VT_EMPTY;
    slot_at(st, FindSlot(st, "v"))->v.flags = 0;
    ASSERT_TRUE(set_variable_int(st, "n", 1));
    EXPECT_EQ(form_text("ObjectTypeGet(n)"), "");
    EXPECT_EQ(form_text("ObjectTypeGet(7)"), "");
}

TEST_F(SpecialForms, InspectingThroughPointer) {
    ASSERT_TRUE(set_variable_text(st, "s", "x"));
    const std::string text = pointer_to("s");
    ASSERT_TRUE(set_variable_text(st, "p", text.c_str()));
    EXPECT_EQ(form_int("VarType(*p)"), 2);
    EXPECT_EQ(form_int("IsDefined(*p)"), 1);
    EXPECT_EQ(form_int("Drop(s)"), 1);
    EXPECT_EQ(form_int("IsDefined(*p)"), 0);
    EXPECT_EQ(form_int("IsDefined(*5)"), -1);

    ASSERT_TRUE(set_variable_text(st, "short", text.substr(0, 37).c_str()));
    EXPECT_EQ(form_error("IsDefined(*short)"), E(Err::NotVariablePointer));
    std::string foreign = text;
    foreign.replace(9, 4, "0011");  // a table that does not exist
    ASSERT_TRUE(set_variable_text(st, "foreign", foreign.c_str()));
    EXPECT_EQ(form_error("VarType(*foreign)"), E(Err::InvalidVariablePointer));
}

// ------------------------------------------------------------------ pointer forms

TEST_F(SpecialForms, GlobalPointersFromAFunction) {
    ASSERT_TRUE(set_variable_int(st, "shared", 10));
    EXPECT_TRUE(form("PtrGlobalDefine(shared)"));
    std::string defined = value_text(st, result.v);
    enter_function_table(2);

    EXPECT_EQ(form_error("PtrGlobalDefine(x)"), E(Err::PointerError));
    EXPECT_EQ(info, "PtrGlobalDefine may only be called from the main script");
    EXPECT_EQ(st->table.id, 2);

    // The form works in table 0; the token after ")" is read in the caller's table.
    EXPECT_EQ(form_text("PtrGlobal(shared) after"), defined);
    EXPECT_EQ(st->table.id, 2);
    EXPECT_EQ(st->lexer.kind, TK_NAME);
    EXPECT_EQ(FindSlot(st, "after"), st->lexer.slot);
    EXPECT_EQ(form_int("PtrGlobalTest(shared)"), 1);
    EXPECT_EQ(form_error("PtrGlobal(missing)"), E(Err::PointerError));
    EXPECT_EQ(st->table.id, 2);
    EXPECT_EQ(FindSlot(st, "shared"), NO_SLOT);  // nothing leaked into the function's table
    leave_function_table();
    EXPECT_EQ(FindSlot(st, "after"), NO_SLOT);
}

TEST_F(SpecialForms, MakePointerStaysInCurrentTable) {
    enter_function_table(5);
    std::string text = form_text("?makepointer(fresh)");
    EXPECT_EQ(text.substr(9, 4), "0005");
    EXPECT_EQ(slot_at(st, FindSlot(st, "fresh"))->v.flags, (uint32_t)VF_INT);
    EXPECT_EQ(form_error("?makepointer(3)"), E(Err::MakePointerNotVariable));
}

}  // namespace
