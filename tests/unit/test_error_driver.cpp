// The statement driver where a script cannot look: LastError's indirect
// values, the report record, handler frames at the nesting limit, cancel
// handlers behind a host, and handler functions through the function hook,
// all in silent mode (no dialog; a report answers Cancel). What a script
// shows runs in tests/scripts/core/error_handlers.qob.
#include <string>
#include "base/error_info.h"
#include "base/error_numbers.h"
#include "base/messages.h"
#include "engine/run_loop.h"
#include "error_fixture.h"
#include "lang/arrays.h"
#include "lang/host_call.h"
#include "lang/pump.h"

namespace {

class ErrorDriver : public ErrorPathTest {};

// ------------------------------------------------------------ built-ins

TEST_F(ErrorDriver, LastErrorGivesTheIndirectValueForExtenderAndReportedCodes) {
    const uint16_t id = id_named("lasterror");
    struct Case { int32_t stored, expected; } cases[] = {{1213, 4321}, {2214, 4321}, {3215, 4321}, {9013, 4321}, {9016, 4321},
                 {1668, 1668}, {3074, 3074}, {9012, 9012}, {9017, 9017}};
    for (const Case& c : cases) {
        st->last_error = c.stored;
        st->indirect_error = 4321;
        ASSERT_TRUE(DispatchFunction(st, "LastError", false, id, &result, args, 0));
        EXPECT_EQ(result.v.integer, c.expected) << "stored " << c.stored;
        EXPECT_EQ(st->last_error, 0);
        EXPECT_EQ(st->indirect_error, 0);
    }
}

// ------------------------------------------------------------ handler labels

TEST_F(ErrorDriver, MissingHandlerLabelLeavesTheErrorToBeReported) {
    st->error_handler_mode = 2;
    ASSERT_TRUE(run("x = 1 2\ndone = 1\n"));
    EXPECT_FALSE(defined("done"));
    EXPECT_EQ(st->last_report.number, 3074) << "the error, not 3033 from the label search";
    EXPECT_EQ(st->structure_depth, 0) << "the handler's GoSub frame is taken back";
}

TEST_F(ErrorDriver, GoSubHandlerAtFullNestingRaises3619) {
    std::string text;
    for (int i = 0; i < STRUCTURE_FRAMES; ++i) text += "If 1\n";
    text += "x = 1 2\ndone = 1\n:TQERRORHANDLER\nReturn\n";
    st->error_handler_mode = 2;
    ASSERT_TRUE(run(text));
    EXPECT_FALSE(defined("done"));
    EXPECT_EQ(st->last_report.number, 3619);
    EXPECT_STREQ(st->silent_text, "x = 1 2");
}

// ------------------------------------------------------------ cancel handlers

// A host whose one function, HostCancel(), answers as a cancelled dialog does.
int __stdcall cancelling_host(HWND, uintptr_t, uint32_t, int32_t, ResultCallbackFn, ExtenderContext*,
                              uint32_t*, ExtenderValue*, int32_t, ExtenderValue*) {
    return KESTR_RESULT_CANCEL;
}

class CancelHandler : public ErrorPathTest {
protected:
    KeywordEntry host_table[2];

    void SetUp() override {
        ErrorPathTest::SetUp();
        host_table[0] = entry_for("hostcancel", KT_FUNCTION, 0, AK_INTEGER);
        host_table[1] = entry_for("", 0, 0);
    }

    bool run_cancelling(const char* text) {
        return run(text, reinterpret_cast<void*>(&cancelling_host), host_table);
    }
};

TEST_F(CancelHandler, WithoutAHandlerTheCancelEndsTheRunUnreported) {
    ASSERT_TRUE(run_cancelling("HostCancel()\nafter = 1\n"));
    EXPECT_FALSE(defined("after"));
    EXPECT_EQ(st->last_run_error, TERMINATE_CANCEL);
    EXPECT_EQ(st->silent_caption[0], '\0');
}

TEST_F(CancelHandler, GoSubModeRunsTheCancelLabelAndReturns) {
    st->cancel_handler_mode = 2;
    ASSERT_TRUE(run_cancelling("HostCancel()\nafter = 1\nExit\n:CANCEL\ntext = tqerrortextstring\n"
                               "info = tqerroradditionalinfo\nnumber = tqerrorarray[0]\nReturn\n"));
    EXPECT_EQ(text_var("after"), "1");
    EXPECT_EQ(text_var("text"), "Cancel");
    EXPECT_EQ(text_var("info"), "User pressed Cancel");
    EXPECT_EQ(text_var("number"), "9999");
    EXPECT_EQ(st->cancel_handler_mode, 0);
}

TEST_F(CancelHandler, CalledScriptModeStaysArmed) {
    st->cancel_handler_mode = -1;
    ASSERT_TRUE(run_cancelling("HostCancel()\nafter = 1\nExit\n:cancel\nhandled = 1\n"));
    EXPECT_FALSE(defined("after"));
    EXPECT_EQ(text_var("handled"), "1");
    EXPECT_EQ(st->cancel_handler_mode, -1);
}

// ------------------------------------------------------------ handler functions

// A stand-in for the user-defined-function code: one function "onerror"
// with one parameter, whose body is this test's code.
struct FakeHandler {
    int32_t answer = 0;
    int calls = 0;
    int32_t element0 = 0;
    std::string element5;
};
FakeHandler* g_fake = nullptr;

int fake_active_count(EngineState*) { return 1; }
const char* fake_name(EngineState*, int index, uint16_t* length) {
    if (index != 0) return nullptr;
    *length = 7;
    return "onerror";
}
int fake_parameter_count(EngineState*, int) { return 1; }

bool fake_invoke(EngineState* st, uint16_t id, Value* result, Value* args, int count) {
    if (id != UDF_ID_BASE || count != 1) return false;
    ++g_fake->calls;
    const ArrayHeader* array = array_of(args[1].v);
    if (array && array->element_count == 12) {
        g_fake->element0 = array->elements[0].v.integer;
        const char* text = value_text(st, array->elements[5].v);
        g_fake->element5 = text ? text : "";
    }
    SetInteger(&result->v, RK_VALUE, 0, g_fake->answer);
    return true;
}

class HandlerFunction : public ErrorPathTest {
protected:
    UserFunctionHooks saved_hooks{};
    bool (*saved_invoke)(EngineState*, uint16_t, Value*, Value*, int) = nullptr;
    FakeHandler fake;

    void SetUp() override {
        ErrorPathTest::SetUp();
        saved_hooks = UserFunctions;
        saved_invoke = g_invoke_handler_function;
        UserFunctions.active_count = fake_active_count;
        UserFunctions.name = fake_name;
        UserFunctions.parameter_count = fake_parameter_count;
        g_invoke_handler_function = fake_invoke;
        g_fake = &fake;
        st->error_handler_mode = 3;
        lstrcpynA(st->error_handler_name, "OnError", sizeof st->error_handler_name);
    }

    void TearDown() override {
        UserFunctions = saved_hooks;
        g_invoke_handler_function = saved_invoke;
        g_fake = nullptr;
        ErrorPathTest::TearDown();
    }
};

TEST_F(HandlerFunction, AnswerTwoLeavesTheErrorToBeReported) {
    fake.answer = 2;
    ASSERT_TRUE(run("ErrorMode(@OFF)\nErrorEvent(-3, 7005, \"severe\")\ndone = 1\n"));
    EXPECT_EQ(fake.calls, 1);
    EXPECT_EQ(fake.element0, 7005) << "a user-defined error shows its code";
    EXPECT_EQ(fake.element5, "severe");
    EXPECT_FALSE(defined("done"));
    EXPECT_EQ(st->last_report.number, 7005);
    EXPECT_STREQ(st->silent_caption, "3670:  Severe user-defined error");
}

TEST_F(HandlerFunction, NameMustMatchAFunctionWithOneParameter) {
    fake.answer = 0;
    lstrcpynA(st->error_handler_name, "onerro", sizeof st->error_handler_name);
    ASSERT_TRUE(run("x = 1 2\ndone = 1\n"));
    EXPECT_EQ(fake.calls, 0);
    EXPECT_EQ(st->last_report.number, 3074);
    lstrcpynA(st->error_handler_name, "1onerror", sizeof st->error_handler_name);
    ASSERT_TRUE(run("x = 1 2\ndone = 1\n"));
    EXPECT_EQ(fake.calls, 0);
}

TEST_F(HandlerFunction, WithoutTheFunctionHookModeThreeIsNoHandler) {
    g_invoke_handler_function = nullptr;
    ASSERT_TRUE(run("ErrorMode(@OFF)\nErrorEvent(-2, 7006, \"moderate\")\ndone = 1\n"));
    EXPECT_EQ(fake.calls, 0);
    // No handler armed: the event reported itself.
    EXPECT_STREQ(st->silent_caption, "User-Defined Error:  7006: moderate");
    EXPECT_FALSE(defined("done"));
}

}  // namespace
