// Call(file, parameters) where a script cannot look: the settings a called
// script starts without and gets back, and the quiet stop after a failure.
// The rest is tests/scripts/runner/call.qob and nested_calls.qob.
#include "builtin_fixture.h"

#include <vector>
#include "base/error_numbers.h"
#include "base/heap.h"
#include "lang/frame_types.h"
#include "lang/host_call.h"
#include "lang/pump.h"

namespace {

class CallTest : public BuiltinTest {
protected:
    std::vector<std::string> files;

    void TearDown() override {
        for (const std::string& file : files) DeleteFileA(file.c_str());
        BuiltinTest::TearDown();
    }

    // Writes a script file into the temporary directory; returns its path.
    std::string script_file(const char* text) {
        files.push_back(temp_path("qcl"));
        EXPECT_TRUE(write_file(files.back(), text));
        return files.back();
    }

    int run(const std::string& text) { return run_entry(text); }

    // Call through the dispatcher, outside any run.
    bool call(const char* file, const char* parameters) {
        ReleaseValue(st, &result.v, RK_VALUE, 0);
        SetInteger(&result.v, RK_VALUE, 0, 0);
        EXPECT_TRUE(set_value_text(st, &args[1].v, file, strlen(file)));
        EXPECT_TRUE(set_value_text(st, &args[2].v, parameters, strlen(parameters)));
        st->error = 0;
        return DispatchFunction(st, "call", false, id_named("call"), &result, args, 2) && st->error == 0;
    }

    static std::string quoted(const std::string& path) { return "\"" + path + "\""; }
};

// ------------------------------------------------------------------ failures

TEST_F(CallTest, FailureInCalledScriptStopsCallerQuietlyWith9013) {
    const std::string callee = script_file("a = 1\nb = no_such_variable + 1\nc = 1\n");
    EXPECT_EQ(run("Call(" + quoted(callee) + ", \"\")\nafter = 1"), 1);
    EXPECT_EQ(int_var("a"), 1);
    EXPECT_EQ(int_var("c"), -999999);
    EXPECT_EQ(int_var("after"), -999999);
    EXPECT_EQ(st->last_run_error, 9013);
    EXPECT_EQ(st->pending_cancel, 9013);
    // The one report is the called script's own.
    EXPECT_NE(std::string(st->silent_caption).find(':'), std::string::npos);
    EXPECT_EQ(std::string(st->silent_caption).rfind("9013", 0), std::string::npos);
    EXPECT_EQ(st->call_depth, 0);
    EXPECT_EQ(st->structure_depth, 0);
}

// ------------------------------------------------------------------ what the caller gets back

// The handler modes, the If result and the script path a called script
// starts without and gives back run in tests/scripts/runner/call.qob.
TEST_F(CallTest, CallerSettingsComeBackAfterTheCall) {
    const std::string callee = script_file("x = 1\n");
    strcpy(st->error_handler_name, "onerror");
    strcpy(st->cancel_handler_name, "oncancel");
    st->debug_switches = 1;
    st->trace_switches = 1;
    strcpy(st->trace_file, "trace.txt");
    strcpy(st->last_traced_line, "x = 1");
    st->function_body = 1;
    st->in_loop = 1;

    EXPECT_TRUE(call(callee.c_str(), "")) << st->error;

    EXPECT_STREQ(st->error_handler_name, "onerror");
    EXPECT_STREQ(st->cancel_handler_name, "oncancel");
    EXPECT_EQ(st->debug_switches, 1u);
    EXPECT_EQ(st->trace_switches, 1u);
    EXPECT_STREQ(st->trace_file, "trace.txt");
    EXPECT_STREQ(st->last_traced_line, "x = 1");
    EXPECT_EQ(st->function_body, 1);
    EXPECT_EQ(st->in_loop, 1);
    EXPECT_EQ(st->call_depth, 0);
    EXPECT_EQ(st->structure_depth, 0);
}

}  // namespace
