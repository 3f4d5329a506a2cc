// A live engine with an argument array and a result, for calling built-in
// functions through DispatchFunction.
#pragma once

#include <string.h>
#include "engine_fixture.h"
#include "lang/fpfault.h"
#include "lang/keyword_table.h"
#include "lib/dispatch.h"

// Independent of keyword_id: a plain scan of the table by name.
inline uint16_t id_named(const char* name) {
    for (int i = 0; i < KEYWORD_COUNT; ++i)
        if (strcmp(KeywordTable[i].name, name) == 0) return static_cast<uint16_t>(i);
    ADD_FAILURE() << name << " is not in the keyword table";
    return 0;
}

// A keyword table row as a host or an extender supplies it.
inline KeywordEntry entry_for(const char* name, uint32_t type, uint32_t value, uint32_t low = 0, uint32_t high = 0,
                              uint32_t id = 0) {
    KeywordEntry entry{};
    entry.id = id;
    entry.type = type;
    entry.value = value;
    entry.kinds_low = low;
    entry.kinds_high = high;
    entry.length = static_cast<uint16_t>(strlen(name));
    strcpy(entry.name, name);
    return entry;
}

class BuiltinTest : public EngineTest {
protected:
    Value args[MAX_ARGUMENTS + 1];
    Value result;

    void SetUp() override {
        EngineTest::SetUp();
        for (Value& arg : args) SetInteger(&arg.v, RK_VALUE, 0, 0);
        SetInteger(&result.v, RK_VALUE, 0, 0);
    }

    // Argument i as a text, a wide text or an integer.
    void text(int i, const char* s) { ASSERT_TRUE(set_value_text(st, &args[i].v, s, strlen(s))); }
    void wtext(int i, const wchar_t* s) { ASSERT_TRUE(set_value_wtext(st, &args[i].v, s, wcslen(s))); }
    void integer(int i, int32_t n) { SetInteger(&args[i].v, RK_VALUE, 0, n); }

    void TearDown() override {
        for (Value& arg : args) ReleaseValue(st, &arg.v, RK_VALUE, 0);
        ReleaseValue(st, &result.v, RK_VALUE, 0);
        g_pending_fp_error = 0;
        EngineTest::TearDown();
    }
};
