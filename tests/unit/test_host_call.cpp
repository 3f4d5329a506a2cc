// The host callback path: record layouts, ZeradIrevav's copying rules, the
// host call with a test handler and the mapping of its result codes, and
// DLLServices' discipline and host requests.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "base/error_numbers.h"
#include "base/errors.h"
#include "base/heap.h"
#include "engine/run_loop.h"
#include "builtin_fixture.h"
#include "ext/services.h"
#include "lang/error_driver.h"
#include "lang/evaluator.h"
#include "lang/host_call.h"
#include "lang/keyword_table.h"
#include "lang/pump.h"
#include "lib/dispatch.h"

namespace {

// ---------------------------------------------------------------- the test host

// What the test handler saw, and what it answers.
struct HostScript {
    HWND owner;
    uintptr_t host_value;
    uint32_t magic;
    int32_t function;
    int32_t count;
    uint32_t* private_word;
    ExtenderContext context;
    ExtenderValue arguments[MAX_ARGUMENTS];
    std::string texts[MAX_ARGUMENTS];
    int calls;
    // The answer: a record handed to the callback, or none; the code returned.
    bool use_callback;
    ExtenderValue answer;
    int code;
    int returned_by_callback;
};
HostScript g_host;

int __stdcall test_host(HWND owner, uintptr_t host_value, uint32_t magic, int32_t function,
                        ResultCallbackFn callback, ExtenderContext* context, uint32_t* private_word,
                        ExtenderValue* arguments, int32_t count, ExtenderValue*) {
    ++g_host.calls;
    g_host.owner = owner;
    g_host.host_value = host_value;
    g_host.magic = magic;
    g_host.function = function;
    g_host.count = count;
    g_host.private_word = private_word;
    g_host.context = *context;
    for (int i = 0; i < count && i < MAX_ARGUMENTS; ++i) {
        g_host.arguments[i] = arguments[i];
        const bool is_text = (arguments[i].flags & VF_STRING) && !(arguments[i].flags & VF_ARRAY);
        g_host.texts[i] = is_text && arguments[i].text ? static_cast<const char*>(arguments[i].text) : "";
    }
    if (!g_host.use_callback) return g_host.code;
    g_host.returned_by_callback = callback(g_host.code, nullptr, context, &g_host.answer);
    return g_host.returned_by_callback;
}

ExtenderValue record(uint32_t flags, const char* text = nullptr, int32_t n = 0) {
    ExtenderValue r;
    memset(&r, 0, sizeof r);
    r.flags = flags;
    r.text = const_cast<char*>(text);
    r.integer = n;
    return r;
}
ExtenderValue string_record(const char* text) { return record(VF_STRING, text); }
ExtenderValue integer_record(int32_t n) { return record(VF_INT, nullptr, n); }

class HostCall : public BuiltinTest {
protected:
    KeywordEntry host_table[3];

    void SetUp() override {
        BuiltinTest::SetUp();
        g_host = HostScript{};
        g_host.use_callback = true;
        g_host.answer = integer_record(0);
        st->host_handler = reinterpret_cast<HostHandlerFn>(reinterpret_cast<void*>(&test_host));
        st->host_values[1] = 0x5EED;
        st->error_mode = ERRMODE_CANCEL;
        host_table[0] = entry_for("hostecho", KT_FUNCTION, 1, AK_ANSI, 0, 0);
        host_table[1] = entry_for("hostcount", KT_FUNCTION, 0, AK_INTEGER, 0, 1);
        host_table[2] = entry_for("", 0, 0);
        st->host_keywords = host_table;
    }

    void TearDown() override {
        st->host_handler = nullptr;
        st->host_keywords = nullptr;
        st->error = 0;
        BuiltinTest::TearDown();
    }

    // Calls host function 0 with its error text and result code.
    bool fail_with(int code, const char* error_text) {
        g_host.code = code;
        g_host.answer = string_record(error_text);
        return call_host_function(st, HOST_ID_BASE, &result, args, 0);
    }
};

// ---------------------------------------------------------------- ZeradIrevav

class ResultCallback : public HostCall {
protected:
    ExtenderContext context;

    void SetUp() override {
        HostCall::SetUp();
        build_extender_context(st, &result, &context);
    }
};

TEST_F(ResultCallback, CopiesTextIntoTheHeapAndDropsTheOrigin) {
    char source[] = "from the host";
    result.origin_index = 7;
    result.origin_table = 0;
    ExtenderValue r = string_record(source);
    EXPECT_EQ(ZeradIrevav(3, nullptr, &context, &r), 3);
    ASSERT_EQ(result.v.flags, (uint32_t)VF_STRING);
    source[0] = 'X';  // the engine keeps its own copy
    EXPECT_STREQ(value_text(st, result.v), "from the host");
    EXPECT_EQ(result.origin_index, ORIGIN_NONE);
    EXPECT_EQ(result.origin_table, ORIGIN_NONE);
}

TEST_F(ResultCallback, CopiesEveryRepresentationTheFlagsName) {
    ExtenderValue r = string_record("2.5");
    r.flags = VF_STRING | VF_FLOAT | VF_INT;
    r.real = 2.5;
    r.integer = 3;
    ASSERT_EQ(ZeradIrevav(0, nullptr, &context, &r), 0);
    EXPECT_EQ(result.v.flags, (uint32_t)(VF_STRING | VF_FLOAT | VF_INT));
    EXPECT_DOUBLE_EQ(result.v.real, 2.5);
    EXPECT_EQ(result.v.integer, 3);
    EXPECT_STREQ(value_text(st, result.v), "2.5");
}

// Wide text in the text field is the runner's StdIn answer in UTF-8 mode
// (tests/scripts/runner/utf8_console.qob).
TEST_F(ResultCallback, WideTextByTheWideResultFlag) {
    wchar_t other[] = L"w";
    ExtenderValue r;
    memset(&r, 0, sizeof r);
    r.flags = EXTENDER_WIDE_RESULT | VF_INT;  // the integer field is no integer then
#if defined(_WIN64)
    r.text = other;
#else
    r.integer = static_cast<int32_t>(reinterpret_cast<uintptr_t>(other));
#endif
    ASSERT_EQ(ZeradIrevav(0, nullptr, &context, &r), 0);
    EXPECT_EQ(result.v.flags, (uint32_t)VF_UNICODE);
    EXPECT_STREQ(value_wtext(st, result.v), L"w");
}

TEST_F(ResultCallback, ReplacingAResultFreesItsOldText) {
    ExtenderValue r = string_record("first");
    ASSERT_EQ(ZeradIrevav(0, nullptr, &context, &r), 0);
    const HeapStats before = heap_stats(st);
    r = string_record("second");
    ASSERT_EQ(ZeradIrevav(0, nullptr, &context, &r), 0);
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);
    EXPECT_STREQ(value_text(st, result.v), "second");
}

TEST_F(ResultCallback, RefusesUnknownAndComObjectRecordsWithMinusFour) {
    SetInteger(&result.v, RK_VALUE, 0, 41);
    ExtenderValue r = integer_record(5);
    r.flags = 0;
    EXPECT_EQ(ZeradIrevav(1, nullptr, &context, &r), -4);
    r.flags = VF_COMOBJ;  // bits 9 and 10 together
    EXPECT_EQ(ZeradIrevav(1, nullptr, &context, &r), -4);
    r.flags = VF_UNINITIALIZED;
    EXPECT_EQ(ZeradIrevav(1, nullptr, &context, &r), -4);
    EXPECT_EQ(result.v.integer, 41);  // left as it was
}

TEST_F(ResultCallback, NegativeCodeKeepsAPlainStringAsErrorText) {
    std::string long_text(600, 'e');
    long_text[0] = 'L';
    ExtenderValue r = string_record(long_text.c_str());
    EXPECT_EQ(ZeradIrevav(-3, nullptr, &context, &r), -3);
    EXPECT_STREQ(st->extender_error_text, long_text.c_str());
    EXPECT_EQ(strlen(st->user_error_text), 255u);
    EXPECT_EQ(st->user_error_text[0], 'L');
    EXPECT_EQ(result.v.flags, (uint32_t)VF_INT);  // no copy on failure
}

TEST_F(ResultCallback, NegativeCodeWithAnotherRecordUsesTheUndefinedErrorText) {
    ExtenderValue r = integer_record(3);
    EXPECT_EQ(ZeradIrevav(-1, nullptr, &context, &r), -1);
    EXPECT_STREQ(st->extender_error_text, "Extender Error: Undefined error occurred");
    EXPECT_STREQ(st->user_error_text, "Extender Error: Undefined error occurred");
}

// ---------------------------------------------------------------- the call

TEST_F(HostCall, HandsTheHostTheTenWordsAndAFreshContext) {
    text(1, "hello");
    g_host.answer = integer_record(77);
    ASSERT_TRUE(call_host_function(st, HOST_ID_BASE + 1, &result, args, 1));
    EXPECT_EQ(g_host.magic, EXTENDER_CALL_MAGIC);
    EXPECT_EQ(g_host.function, 1);
    EXPECT_EQ(g_host.host_value, (uintptr_t)0x5EED);
    EXPECT_EQ(g_host.private_word, nullptr);
    EXPECT_EQ(g_host.count, 1);
    EXPECT_EQ(g_host.texts[0], "hello");
    EXPECT_EQ(g_host.context.engine, st);
    EXPECT_EQ(g_host.context.result, &result);
    EXPECT_EQ(g_host.context.version, 1010u);
    EXPECT_EQ(g_host.context.size, sizeof(ExtenderContext));
    EXPECT_EQ(g_host.context.services, &DLLServices);
    EXPECT_EQ(result.v.integer, 77);
}

TEST_F(HostCall, ArgumentsTravelInTheirFieldsAndWideTextAsAnsi) {
    wtext(1, L"wide");
    integer(2, -12);
    args[3].v.flags = VF_FLOAT;
    args[3].v.real = 0.25;
    ASSERT_TRUE(call_host_function(st, HOST_ID_BASE, &result, args, 3));
    EXPECT_EQ(g_host.texts[0], "wide");
    EXPECT_EQ(g_host.arguments[0].flags & VF_UNICODE, 0u);
    EXPECT_EQ(g_host.arguments[1].integer, -12);
    EXPECT_EQ(g_host.arguments[1].flags, (uint32_t)VF_INT);
    EXPECT_DOUBLE_EQ(g_host.arguments[2].real, 0.25);
    EXPECT_EQ(g_host.arguments[2].text, nullptr);
}

TEST_F(HostCall, HostStatementGetsTheRestOfTheLineFromTheDispatcherRoute) {
    text(1, "rest of line");
    ASSERT_TRUE(DispatchFunction(st, "hostecho", true, HOST_ID_BASE, &result, args, 1));
    EXPECT_EQ(st->error, 0);
    EXPECT_EQ(g_host.texts[0], "rest of line");
}

TEST_F(HostCall, AHostThatNeverCallsBackLeavesTheIntegerZero) {
    g_host.use_callback = false;
    g_host.code = 5;
    EXPECT_TRUE(call_host_function(st, HOST_ID_BASE, &result, args, 0));
    EXPECT_EQ(result.v.flags, (uint32_t)VF_INT);
    EXPECT_EQ(result.v.integer, 0);
}

// ---------------------------------------------------------------- result codes

TEST_F(HostCall, SevereErrorIsReportedWithItsRealNumberAndStops) {
    EXPECT_EQ(failed(fail_with(-3, "1234: disk on fire")), ERROR_REPORTED_BY_RAISER);
    EXPECT_EQ(st->indirect_error, 1234);
    EXPECT_EQ(st->last_report.number, 1234);
    EXPECT_STREQ(st->last_report.text, "QOB Extender Error:  1234: disk on fire");
    EXPECT_EQ(st->continue_flag, 0);
}

// What each result code becomes under each reporting setting; -1 leaves the
// report's number unchecked.
TEST_F(HostCall, ResultCodesByReportingSetting) {
    const struct {
        int code;
        const char* text;
        int mode, suppress, inside_execute, execute_mode;
        bool goes_on;
        int error, report, continue_flag;
    } cases[] = {
        {-4, "quiet", ERRMODE_CANCEL, 0, 0, 0, false, E(Err::ExtenderResultNoMemory), 0, 0},
        {-5, "quiet", ERRMODE_CANCEL, 0, 0, 0, false, E(Err::UserCancel), 0, 0},
        {-6, "quiet", ERRMODE_CANCEL, 0, 0, 0, false, TERMINATE_HOST, 0, 0},
        {-7, "quiet", ERRMODE_CANCEL, 0, 0, 0, false, E(Err::ExtenderArrayCreateFailed), 0, 0},
        // Below -7: out of memory, no indirect code, severe (never goes on).
        {-8, "odd", ERRMODE_NOTIFY, 0, 0, 0, false, ERROR_REPORTED_BY_RAISER, E(Err::ExtenderResultNoMemory), 0},
        // A minor error under ErrorMode(@OFF) is left to the statement driver.
        {-1, "minor", ERRMODE_OFF, 0, 0, 0, false, E(Err::ExtenderMinorError), 0, 0},
        {-2, "moderate", ERRMODE_CANCEL, 1, 0, 0, false, E(Err::ExtenderModerateError), 0, 0},
        // Inside a quiet Execute the error counts as reported and goes on.
        {-2, "in execute", ERRMODE_CANCEL, 0, 1, 2, true, ERROR_REPORTED_BY_RAISER, -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " " << c.text);
        st->error = 0;
        st->last_report.number = 0;
        st->continue_flag = 0;
        st->error_mode = c.mode;
        st->suppress_reports = c.suppress;
        st->inside_execute = c.inside_execute;
        st->execute_error_mode = c.execute_mode;
        EXPECT_EQ(fail_with(c.code, c.text), c.goes_on);
        EXPECT_EQ(st->error, c.error);
        if (c.report >= 0) { EXPECT_EQ(st->last_report.number, c.report); }
        EXPECT_EQ(st->continue_flag, c.continue_flag);
    }
    st->suppress_reports = 0;
    st->inside_execute = 0;
    st->continue_flag = 0;
}

TEST_F(HostCall, ErrorNumberComesOnlyFromAColonWithinTenCharacters) {
    st->error_mode = ERRMODE_OFF;
    // The colon may be the tenth character at the latest.
    const struct { const char* text; int32_t number; } cases[] = {
        {"77:x", 77}, {"123456789:x", 123456789}, {"1234567890:x", 999}, {"0: zero keeps it", 999},
        {"no number: here", 999}, {"no colon at all", 999}, {"  -5: signed", -5}};
    for (const auto& c : cases) {
        st->error = 0;
        EXPECT_FALSE(fail_with(-1, c.text)) << c.text;
        EXPECT_EQ(st->indirect_error, c.number) << c.text;
    }
}

TEST_F(HostCall, InsideExecuteASilentBoxAnswersCancel) {
    st->inside_execute = 1;
    st->execute_error_mode = 0;
    EXPECT_EQ(failed(fail_with(-1, "in execute")), (uint16_t)Err::UserCancel);
    EXPECT_STREQ(st->silent_text, "EXECUTE::in execute");
    st->inside_execute = 0;
}

TEST_F(HostCall, AFailureWithoutTextDoesNotRepeatAnEarlierText) {
    EXPECT_FALSE(fail_with(-4, "first failure"));
    st->error = 0;
    g_host.use_callback = false;
    g_host.code = -4;
    EXPECT_FALSE(call_host_function(st, HOST_ID_BASE, &result, args, 0));
    EXPECT_STREQ(st->extender_error_text, "Extender Error: Undefined error occurred");
}

// ---------------------------------------------------------------- hooks

TEST_F(HostCall, HookPassesItsTextAndFourNumbersAndReturnsTheAnswer) {
    g_host.answer = integer_record(KESTR_HOOK_DIRECTORY_CHANGED);
    int32_t answer = -1;
    ASSERT_TRUE(call_host_hook(st, KESTR_HOOK_STATEMENT, "2", 0x1234, 56, 65535, 1, &answer));
    EXPECT_EQ(g_host.function, -1);
    EXPECT_EQ(g_host.count, 5);
    EXPECT_EQ(g_host.texts[0], "2");
    EXPECT_EQ(g_host.arguments[0].flags, (uint32_t)VF_STRING);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(g_host.arguments[i].flags, (uint32_t)VF_INT) << i;
    EXPECT_EQ(g_host.arguments[1].integer, 0x1234);
    EXPECT_EQ(g_host.arguments[2].text, reinterpret_cast<void*>(56));
    EXPECT_EQ(g_host.arguments[3].integer, 65535);
    EXPECT_EQ(answer, KESTR_HOOK_DIRECTORY_CHANGED);
}

TEST_F(HostCall, HookStopRequestBecomesTheHostTerminationCode) {
    g_host.code = KESTR_RESULT_STOP;
    g_host.use_callback = false;
    EXPECT_EQ(failed(call_host_hook(st, KESTR_HOOK_SCRIPT, "c:\\x.qob", 1, 0, 0, 0)), TERMINATE_HOST);
}

// ---------------------------------------------------------------- DLLServices

class Services : public EngineTest {
protected:
    intptr_t call(uint32_t request, uintptr_t a2 = 0, uintptr_t a3 = 0, int32_t a4 = 0, uintptr_t a5 = 0) {
        return DLLServices(state_handle, request, a2, a3, a4, a5);
    }
    static uintptr_t text(const char* s) { return reinterpret_cast<uintptr_t>(s); }
};

TEST_F(Services, RequestsAboveFiftyThreeAnswerZeroOthersDefaultToOne) {
    EXPECT_EQ(call(54), 0);
    EXPECT_EQ(call(0x10000 + 54), 0);   // only the low 16 bits count
    EXPECT_EQ(call(53), 1);
    EXPECT_EQ(call(0x10000 + 31), 1);
    EXPECT_EQ(DLLServices(nullptr, 31, 0, 0, 0, 0), 0);
}

TEST_F(Services, APendingErrorSurvivesARequest) {
    st->error = 3057;
    EXPECT_EQ(call(KESTR_SVC_HOST_VERSION, text("host 2.0")), 1);
    EXPECT_EQ(st->error, 3057);
    EXPECT_STREQ(st->host_version_text, "host 2.0");
}

TEST_F(Services, EngineMayBeGivenByItsAddress) {
    EXPECT_EQ(DLLServices(st, KESTR_SVC_SCRIPT_PATH, text("c:\\a\\b.qob"), 0, 0, 0), 1);
    EXPECT_STREQ(st->script_path, "c:\\a\\b.qob");
    EXPECT_EQ(DLLServices(st, KESTR_SVC_HOST_WINDOW, 0, 0, 0, 0), (intptr_t)st->host_window);
}

TEST_F(Services, SilentModeAnswersThePreviousSettingAndOtherValuesOnlyRead) {
    ASSERT_EQ(st->silent, 1);  // the fixture's setting
    EXPECT_EQ(call(KESTR_SVC_SILENT, text("c:\\log.txt"), 0, 0), 1);
    EXPECT_EQ(st->silent, 0);
    EXPECT_STREQ(st->log_file, "c:\\log.txt");
    EXPECT_EQ(call(KESTR_SVC_SILENT, text("other"), 0, 7), 0);
    EXPECT_EQ(st->silent, 0);
    EXPECT_STREQ(st->log_file, "c:\\log.txt");
    EXPECT_EQ(call(KESTR_SVC_SILENT, 0, 0, 1), 0);
    EXPECT_EQ(st->silent, 1);
    EXPECT_STREQ(st->log_file, "c:\\log.txt");  // no name given: kept
}

TEST_F(Services, CancelSetsBothFlagsUnlessCancellingIsDisabled) {
    st->cancel_disabled = 1;
    EXPECT_EQ(call(KESTR_SVC_CANCEL), 0);
    EXPECT_EQ(st->cancel_requested, 0);
    st->cancel_disabled = 0;
    EXPECT_EQ(call(KESTR_SVC_CANCEL), 1);
    EXPECT_EQ(st->cancel_requested, 1);
    EXPECT_EQ(st->report_cancel, 1);
}

// The report's fields reach the runner's error lines (every script test's
// expect-error); a record that claims to be smaller gets nothing.
TEST_F(Services, RunReportNeedsTheWholeRecord) {
    st->last_report.number = 3057;
    KestrRunReport report;
    memset(&report, 0, sizeof report);
    report.size = sizeof report - 1;
    EXPECT_EQ(call(KESTR_SVC_RUN_REPORT, reinterpret_cast<uintptr_t>(&report)), 0);
    EXPECT_EQ(report.error, 0);
}

TEST_F(Services, HeapCopyAndAddressRoundTrip) {
    intptr_t offset = call(KESTR_SVC_HEAP_COPY, text("kept"));
    ASSERT_GT(offset, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(call(KESTR_SVC_HEAP_ADDRESS, 0, 0, 0, (uintptr_t)offset)), "kept");
    VFree(st, static_cast<uint32_t>(offset));
}

}  // namespace
