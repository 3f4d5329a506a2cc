// The debug trace where a script cannot look: the requests' effects on the
// engine's state, record texts a script cannot provoke, and the dumps that
// change with the build. The requests' answers and whole traces of scripts
// (statements, errors, dumps, functions) run in tests/scripts/trace and
// tests/scripts/functions/trace_function.qob.
#include <string>
#include "base/error_numbers.h"
#include "base/errors.h"
#include "engine/run_loop.h"
#include "error_fixture.h"
#include "ext/services.h"
#include "kestr44i.h"
#include "lang/evaluator.h"
#include "lang/host_call.h"
#include "lang/pump.h"
#include "lang/structures.h"
#include "lang/trace.h"
#include "lib/debug.h"

namespace {

size_t count_of(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

class Trace : public ErrorPathTest {
protected:
    std::string path;

    void SetUp() override {
        ErrorPathTest::SetUp();
        path = temp_path("trc");
    }
    void TearDown() override {
        DeleteFileA(path.c_str());
        ErrorPathTest::TearDown();
    }

    void trace_on(int32_t request = 1) { ASSERT_TRUE(DebugTraceRequest(st, request, path.c_str(), "")); }
    std::string trace() { return read_file(path); }
};

// ------------------------------------------------------------------ requests

TEST_F(Trace, NamesBecomeFullPathsExceptTheDebuggerOutput) {
    ASSERT_TRUE(DebugTraceRequest(st, 100, "relative.txt", ""));
    char full[MAX_PATH];
    GetFullPathNameA("relative.txt", sizeof full, full, nullptr);
    EXPECT_STREQ(st->trace_file, full);
    EXPECT_EQ(st->trace_switches, 0u) << "100 sets the name only";
    ASSERT_TRUE(DebugTraceRequest(st, 100, "*DEBUGDATA*", ""));
    EXPECT_STREQ(st->trace_file, "*DEBUGDATA*");
    ASSERT_TRUE(DebugTraceRequest(st, 200, "", ""));
    EXPECT_STREQ(st->trace_file, "");
}

TEST_F(Trace, OptionBitsFollowTheirRequests) {
    ASSERT_TRUE(DebugTraceRequest(st, 102, "", "1"));
    ASSERT_TRUE(DebugTraceRequest(st, 103, "", "7"));
    EXPECT_EQ(st->trace_options, TRACE_OPTION_BIT1 | TRACE_OPTION_BIT2);
    ASSERT_TRUE(DebugTraceRequest(st, 102, "0", ""));  // two arguments: the second decides
    EXPECT_EQ(st->trace_options, TRACE_OPTION_BIT2);
    ASSERT_TRUE(DebugTraceRequest(st, 200, "", ""));
    EXPECT_EQ(st->trace_options, 0u);
}

TEST_F(Trace, HostServiceTurnsTheTraceOn) {
    EXPECT_EQ(DLLServices(state_handle, KESTR_SVC_TRACE, reinterpret_cast<uintptr_t>(path.c_str()), 0, 1, 0), 1);
    EXPECT_EQ(st->trace_switches, static_cast<uint32_t>(TRACE_EVERY_STATEMENT));
    EXPECT_STREQ(st->trace_file, path.c_str());
    EXPECT_EQ(DLLServices(state_handle, KESTR_SVC_TRACE, 0, 0, 0, 0), 1);
    EXPECT_EQ(st->trace_switches, 0u);
    st->trace_file[0] = '\0';
    EXPECT_EQ(DLLServices(state_handle, KESTR_SVC_TRACE, 0, 0, 1, 0), 0) << "no file at all";
    EXPECT_EQ(st->error, 0) << "services never leave an error";
}

// ------------------------------------------------------------------ record texts

TEST_F(Trace, ResolvedJumpsReadAsTheirWords) {
    char text[64];
    readable_statement("\x9E" "abcd" " sub1", text, sizeof text);
    EXPECT_STREQ(text, "gosub sub1");
    readable_statement("\x9F" "abcd" "sub1", text, sizeof text);
    EXPECT_STREQ(text, "goto sub1");
    readable_statement("\x9E" "ab", text, sizeof text);
    EXPECT_STREQ(text, "\x9E" "ab") << "too short for a marker";
}

TEST_F(Trace, ErrorIntroducersByFamily) {
    trace_on(2);
    st->indirect_error = 77;
    lstrcpynA(st->extender_error_text, "ext failed", sizeof st->extender_error_text);
    trace_statement_error(st, "x = ext()", static_cast<int>(Err::ExtenderModerateError), false);
    lstrcpynA(st->user_error_text, "mine", sizeof st->user_error_text);
    st->indirect_error = 7002;
    trace_statement_error(st, "ErrorEvent()", static_cast<int>(Err::UserSevereError), true);
    const size_t dumps = count_of(trace(), "Begin variable table dump");
    trace_statement_error(st, "f()", ERROR_IN_FUNCTION_BODY, true);
    trace_statement_error(st, "Exit", TERMINATE_EXIT, true);
    const std::string text = trace();
    EXPECT_NE(text.find("EXTENDER ERROR SUPPRESSED =>77 (ext failed)\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TERMINAL USER-DEFINED ERROR=>7002 (mine)\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TERMINAL UDF ERROR OCCURRED -- JOB EXITING=>"), std::string::npos) << text;
    EXPECT_EQ(dumps, 2u);
    EXPECT_EQ(count_of(text, "Begin variable table dump"), 2u) << "9015 was dumped inside the function";
    EXPECT_EQ(text.find("\r\nExit\r\n"), std::string::npos) << "Exit writes no record";
}

// ------------------------------------------------------------------ dumps

TEST_F(Trace, FunctionTableDumpListsBuiltins) {
    trace_on();
    trace_dump_functions(st);
    const std::string text = trace();
    const uint16_t id = id_named("strlen");
    char row_end[64];
    snprintf(row_end, sizeof row_end, ",  strlen\r\n");
    const size_t row = text.find(row_end);
    ASSERT_NE(row, std::string::npos) << text.substr(0, 400);
    const size_t start = text.rfind("\r\n", row) + 2;
    EXPECT_EQ(atoi(text.c_str() + start), id);
    EXPECT_LT(text.find("------------------ Extenders ------------------"),
              text.find("----------- End function table dump -----------"));
}

TEST_F(Trace, InternalDumpByItem) {
    trace_on();
    ASSERT_TRUE(set_variable_int(st, "counted", 1));
    trace_dump_internal(st, "variables");
    trace_dump_internal(st, "bogus");
    const std::string text = trace();
    EXPECT_NE(text.find("Number of variables assigned: "), std::string::npos);
    EXPECT_NE(text.find("List of variables assigned:\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\ncounted\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Number of files open"), std::string::npos) << "only the item asked for";
    EXPECT_NE(text.find("Invalid param: bogus\r\n"), std::string::npos);
}

// ------------------------------------------------------------------ neighbours

TEST_F(Trace, DebugDataInSilentModeGoesToTheLog) {
    SendDebugData(st, "one", "two");
    EXPECT_STREQ(st->silent_text, "DebugData:one two\r\n");
}

}  // namespace
