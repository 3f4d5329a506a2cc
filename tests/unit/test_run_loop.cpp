// The run loop through ProcessDaBatBuffer and RunScript where a script cannot
// look: a long line in a definition, cancels between statements, the host's
// statement hook, UTF-16 blocks, the entry's resets and cursors, the message
// pump and the timed wait's early end.
#include "recording_host.h"

#include <vector>
#include "lang/host_call.h"
#include "lang/pump.h"

namespace {

// A window whose procedure requests a cancel when it receives WM_APP, as
// the Ctrl+Break poll would.
EngineState* g_cancel_target = nullptr;
int g_app_messages = 0;

LRESULT CALLBACK cancel_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
        ++g_app_messages;
        if (g_cancel_target) {
            g_cancel_target->cancel_requested = 1;
            g_cancel_target->report_cancel = 1;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND cancel_window() {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = cancel_window_proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "RunLoopTestCancel";
        atom = RegisterClassA(&wc);
    }
    return CreateWindowA("RunLoopTestCancel", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// ------------------------------------------------------------------ fixture

class RunLoop : public EngineTest {
protected:
    HWND window = nullptr;  // requests a cancel on WM_APP

    void SetUp() override {
        EngineTest::SetUp();
        g_host = HostLog{};
        g_cancel_target = st;
        g_app_messages = 0;
        window = cancel_window();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        g_cancel_target = nullptr;
        EngineTest::TearDown();
    }

    int run(const std::string& text, void* host = nullptr) { return run_entry(text, host); }

    int run_wide(const wchar_t* text, bool big_endian) { return run(utf16_bytes(text, big_endian)); }

    std::string caption() const { return st->silent_caption; }
    bool reported(int error) const { return caption().rfind(std::to_string(error) + ":", 0) == 0; }
};

// ------------------------------------------------------------------ definitions

TEST_F(RunLoop, OverlongLineInsideDefinitionStopsWith3722) {
    std::string script = "#DefineFunction f()\n" + std::string(2049, 'a') + "\n#EndFunction\nx = 1";
    EXPECT_EQ(run(script), 1);
    EXPECT_EQ(st->last_run_error, 3722);
    EXPECT_TRUE(reported(3722)) << caption();
    EXPECT_FALSE(defined("x"));
}

// ------------------------------------------------------------------ stops

TEST_F(RunLoop, CancelThroughThePumpStopsAfterTheCurrentStatement) {
    PostMessageA(window, WM_APP, 0, 0);
    EXPECT_EQ(run_script("a = 1\nb = 2\nc = 3"), 0);
    EXPECT_EQ(g_app_messages, 1);
    EXPECT_EQ(int_var("a"), 1);
    EXPECT_FALSE(defined("b"));
    EXPECT_TRUE(reported(194)) << caption();
}

TEST_F(RunLoop, UnreportedCancelStillStops) {
    st->cancel_requested = 1;
    st->report_cancel = 1;
    st->suppress_reports = 1;
    EXPECT_EQ(run_script("a = 1\nb = 2"), 0);
    EXPECT_FALSE(defined("b"));
    st->suppress_reports = 0;
    st->report_cancel = 0;  // a cancel without the report flag
    EXPECT_EQ(run_script("c = 1\nd = 2"), 0);
    EXPECT_FALSE(defined("d"));
    EXPECT_EQ(caption(), "");
}

// ------------------------------------------------------------------ the host's statement hook

TEST_F(RunLoop, StatementHookSeesEveryStatementButNotPassedOverLines) {
    st->hook_flags = HOOK_FLAG_STATEMENT;
    EXPECT_EQ(run("; comment\na = 1\n:label\n\nb = 2", reinterpret_cast<void*>(recording_host)), 1);
    st->hook_flags = 0;
    ASSERT_EQ(g_host.functions.size(), 2u);
    EXPECT_EQ(g_host.functions[0], KESTR_HOOK_STATEMENT);
    EXPECT_EQ(g_host.texts[0], "2");
    EXPECT_EQ(g_host.texts[1], "2");
    // Line starts: "a = 1" follows the 10-byte comment line; positions are
    // those of the prepared text, which begins with an origin marker.
    EXPECT_LT(g_host.positions[0], g_host.positions[1]);
    EXPECT_EQ(g_host.positions[1] - g_host.positions[0], strlen("a = 1\n:label\n\n"));
}

TEST_F(RunLoop, HostHookCanStopTheScript) {
    st->hook_flags = HOOK_FLAG_STATEMENT;
    g_host.stop_at_call = 1;
    EXPECT_EQ(run("a = 1\nb = 2\nc = 3", reinterpret_cast<void*>(recording_host)), 1);
    st->hook_flags = 0;
    EXPECT_EQ(int_var("a"), 1);
    EXPECT_FALSE(defined("b"));
    EXPECT_EQ(st->last_run_error, 9012);
    EXPECT_EQ(caption(), "");
}

TEST_F(RunLoop, DirectoryChangedByTheHookIsPutBack) {
    char before[MAX_PATH], temp[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    GetTempPathA(MAX_PATH, temp);
    st->hook_flags = HOOK_FLAG_STATEMENT;
    g_host.change_to = temp;
    EXPECT_EQ(run("a = 1", reinterpret_cast<void*>(recording_host)), 1);
    st->hook_flags = 0;
    GetCurrentDirectoryA(MAX_PATH, after);
    SetCurrentDirectoryA(before);
    EXPECT_EQ(g_host.functions.size(), 1u);
    EXPECT_STREQ(after, before);
    EXPECT_EQ(int_var("a"), 1);
}

// ------------------------------------------------------------------ the entry

TEST_F(RunLoop, Utf16ScriptsRunLikeTheirAnsiForm) {
    EXPECT_EQ(run_wide(L"x = 5\r\ny = \"\u00e9t\u00e9\"", false), 1);
    EXPECT_EQ(int_var("x"), 5);
    char text[16] = "";
    EXPECT_TRUE(GetVariableText(st, "y", text, sizeof text));
    EXPECT_STREQ(text, "\xe9t\xe9");
    EXPECT_EQ(run_wide(L"z = 6", true), 1);
    EXPECT_EQ(int_var("z"), 6);
}

TEST_F(RunLoop, EntryResetsTheRunStateButKeepsHandlerModes) {
    st->cancel_requested = 1;
    st->error_mode = ERRMODE_OFF;
    st->exclusive = 1;
    st->last_if = 1;
    st->error_handler_mode = 2;
    st->include_flags = INCLUDE_EXPAND;
    EXPECT_EQ(run("m = 1\nn = 2"), 1);
    EXPECT_EQ(int_var("n"), 2);  // the earlier cancel is gone
    EXPECT_EQ(st->error_mode, ERRMODE_CANCEL);
    EXPECT_EQ(st->exclusive, 0);
    EXPECT_EQ(st->error_handler_mode, 2);
    EXPECT_EQ(st->include_flags, INCLUDE_EXPAND);
    // Without a host window there is no cursor to show: none is loaded.
    EXPECT_EQ(st->wait_cursor, nullptr);
    EXPECT_EQ(st->cursor, nullptr);
    st->error_handler_mode = 0;
}

// A host with a window gets the wait cursor during the run and the arrow
// after it, as the engine shows them.
TEST_F(RunLoop, HostWindowSettlesWithTheCursors) {
    HWND host = CreateWindowA("STATIC", "host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(run_entry("m = 1", nullptr, nullptr, host), 1);
    DestroyWindow(host);
    EXPECT_EQ(st->wait_cursor, LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_EQ(st->cursor, LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(RunLoop, EntryRefusesMissingBlocks) {
    EXPECT_EQ(ProcessDaBatBuffer(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(ProcessDaBatBuffer(nullptr, state_handle, nullptr, nullptr, nullptr), 0);
}

// ------------------------------------------------------------------ pump and wait

TEST_F(RunLoop, PumpDispatchesUnlessSwitchedOff) {
    g_cancel_target = nullptr;
    PostMessageA(window, WM_APP, 0, 0);
    st->no_pump = 1;
    PumpMessages(st);
    PumpMessagesFast(st);
    EXPECT_EQ(g_app_messages, 0);
    st->no_pump = 0;
    PumpMessagesFast(st);
    EXPECT_EQ(g_app_messages, 1);
}

TEST_F(RunLoop, PumpStopsTakingMessagesOnceCancelled) {
    PostMessageA(window, WM_APP, 0, 0);
    PostMessageA(window, WM_APP, 0, 0);
    PumpMessagesFast(st);
    EXPECT_EQ(g_app_messages, 1);
    st->cancel_requested = 0;
    PumpMessagesFast(st);
    EXPECT_EQ(g_app_messages, 2);
}

TEST_F(RunLoop, WaitPumpingStopsEarlyOnCancel) {
    PostMessageA(window, WM_APP, 0, 0);
    DWORD start = GetTickCount();
    WaitPumping(st, 3000);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(g_app_messages, 1);
    // Already cancelled: no wait at all.
    start = GetTickCount();
    WaitPumping(st, 3000);
    EXPECT_LT(GetTickCount() - start, 500u);
    st->cancel_requested = 0;
    start = GetTickCount();
    WaitPumping(st, 0);
    EXPECT_LT(GetTickCount() - start, 500u);
}

}  // namespace
