// A live engine that runs script lines through the evaluator, with helpers
// to reach the arrays that variables hold.
#pragma once

#include <string>
#include "base/error_info.h"
#include "base/error_numbers.h"
#include "base/heap.h"
#include "engine_fixture.h"
#include "lang/arrays.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"

class ArrayLines : public EngineTest {
protected:
    std::string line;
    Value result;
    std::string info;  // additional error text of the last Error()

    void SetUp() override {
        EngineTest::SetUp();
        init_value(&result);
    }
    void TearDown() override {
        if (st) release_value(st, &result);
        EngineTest::TearDown();
    }

    bool Eval(const std::string& text, int allow_assignment) {
        release_value(st, &result);
        // As the run loop does for every line: no assignment is under way.
        st->assign_table = st->assign_slot = NO_SLOT;
        line = text;
        lexer_start(st, line.c_str());
        get_token(st);
        if (st->error) return false;
        return ProcessSubExpression(st, &result, allow_assignment, 0) == 1;
    }
    // A statement that must succeed and use the whole line.
    void Run(const std::string& statement) {
        ASSERT_TRUE(Eval(statement, 1)) << statement << " failed with " << st->error;
        ASSERT_EQ(st->lexer.kind, TK_END) << statement;
        release_value(st, &result);
    }
    void Run(std::initializer_list<const char*> statements) {
        for (const char* statement : statements) {
            Run(statement);
            if (HasFatalFailure()) return;
        }
    }
    // The error a line fails with; the error and its extra text are cleared.
    int Error(const std::string& text, int allow_assignment = 1) {
        EXPECT_FALSE(Eval(text, allow_assignment)) << text;
        info = error_info_text(st);
        release_value(st, &result);
        return take_error();
    }
    int32_t Int(const std::string& expression) {
        EXPECT_TRUE(Eval(expression, 0)) << expression << " failed with " << st->error;
        EXPECT_TRUE(result.v.flags & VF_INT) << expression << " flags " << result.v.flags;
        return result.v.integer;
    }
    std::string Text(const std::string& expression) {
        if (!Eval(expression, 0)) return "<error " + std::to_string(st->error) + ">";
        const char* text = value_text(st, result.v);
        return text ? text : "<no text>";
    }
    VariableSlot& Slot(const char* name) {
        const uint16_t index = FindSlot(st, name);
        EXPECT_NE(index, NO_SLOT) << name;
        return *slot_at(st, index == NO_SLOT ? 0 : index);
    }
    ArrayHeader* ArrayOf(const char* name) { return array_of(Slot(name).v); }
    HGLOBAL BlockOf(const char* name) { return GlobalHandle(ArrayOf(name)); }
    uint32_t Shares(const char* name) { return array_share_count(ArrayOf(name)); }
    // A block handle is gone once the last holder let go.
    static bool Freed(HGLOBAL block) { return GlobalFlags(block) == GMEM_INVALID_HANDLE; }
};
