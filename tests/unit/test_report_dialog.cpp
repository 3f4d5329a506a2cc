// The error and traceback dialogs on the display (run under Xvfb with
// DISPLAY=:55), answered by a second thread as a user would; and the
// silent-mode form of a report without a line.
#include <string>
#include "base/error_info.h"
#include "error_fixture.h"

namespace {

constexpr char kErrorCaption[] = "Error:  ";  // no host window, so no title after it

class ReportDialog : public ErrorPathTest {
protected:
    void SetUp() override {
        ErrorPathTest::SetUp();
        st->silent = 0;
    }
    // What the error dialog of a run showed before `button` answered it.
    SeenDialog answered(const std::string& text, int button) {
        SeenDialog seen;
        run_answered(text, answer_error_dialog, kErrorCaption, button, &seen);
        return seen;
    }
};

TEST_F(ReportDialog, NotifyModerateEventShowsContinueAndTheRunGoesOn) {
    const SeenDialog seen = answered("ErrorMode(@NOTIFY)\nErrorEvent(-2, 7002, \"boom\")\ndone = 1\n", IDOK);
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.has_exit_button) << "ERRORMSGB";
    EXPECT_EQ(seen.error_text, "User-Defined Error:  7002: boom");
    EXPECT_EQ(seen.location, std::string("On line 2 of ") + kScriptPath);
    EXPECT_EQ(seen.line, "ErrorEvent(-2, 7002, \"boom\")");
    EXPECT_EQ(text_var("done"), "1");
    EXPECT_EQ(st->continue_flag, 0) << "the driver takes the flag back";
}

TEST_F(ReportDialog, DriverReportsAModerateErrorThatNoHandlerTook) {
    // Handler armed but its label missing: the driver itself reports.
    st->error_handler_mode = 1;
    const SeenDialog seen =
        answered("ErrorMode(@NOTIFY)\na = 1\nErrorEvent(-2, 7003, \"unhandled\")\ndone = 1\n", IDOK);
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.has_exit_button);
    EXPECT_EQ(seen.error_text, "2669:  Moderate user-defined error");
    EXPECT_EQ(seen.location, std::string("On line 3 of ") + kScriptPath);
    EXPECT_EQ(text_var("done"), "1");
    EXPECT_EQ(st->last_report.number, 7003);
}

TEST_F(ReportDialog, ExitButtonStopsTheRun) {
    const SeenDialog seen = answered("ErrorMode(@NOTIFY)\nErrorEvent(-2, 7002, \"boom\")\ndone = 1\n", IDCANCEL);
    ASSERT_TRUE(seen.found);
    EXPECT_FALSE(defined("done"));
    EXPECT_EQ(st->last_run_error, ERROR_REPORTED_BY_EVENT);
}

TEST_F(ReportDialog, CancelModeAndSevereErrorsOfferOnlyTheStopButton) {
    for (const char* script : {"a = ArrDimension(-1)\ndone = 1\n", "ErrorMode(@NOTIFY)\nx = 1 2\ndone = 1\n"}) {
        const SeenDialog seen = answered(script, IDOK);
        ASSERT_TRUE(seen.found) << script;
        EXPECT_FALSE(seen.has_exit_button) << "ERRORMSG: " << script;
        EXPECT_FALSE(defined("done")) << "OK in ERRORMSG still stops: " << script;
    }
}

// Reads which of the optional buttons the dialog offers, then continues.
struct SeenButtons {
    bool found = false;
    bool more_info_enabled = false;
    bool support_visible = false;
    std::string version;
};
void answer_buttons(SeenButtons* seen) {
    HWND dialog = wait_for_dialog(kErrorCaption);
    if (!dialog) return;
    seen->found = true;
    seen->more_info_enabled = IsWindowEnabled(GetDlgItem(dialog, 131)) != FALSE;
    seen->support_visible = IsWindowVisible(GetDlgItem(dialog, 140)) != FALSE;
    seen->version = control_text(dialog, 130);
    press(dialog, IDOK);
}

TEST_F(ReportDialog, MoreInfoAndSupportButtonsFollowTheState) {
    SeenButtons plain;
    run_answered("ErrorMode(@NOTIFY)\nErrorEvent(-2, 7002, \"boom\")\n", answer_buttons, &plain);
    ASSERT_TRUE(plain.found);
    EXPECT_FALSE(plain.more_info_enabled);
    EXPECT_FALSE(plain.support_visible);
    EXPECT_EQ(plain.version, "\nQOB Version: 1.0.0");

    lstrcpynA(st->support_address, "https://support.invalid/", MAX_PATH);
    lstrcpynA(st->host_version_text, "Runner 2.5", sizeof st->host_version_text);
    SeenButtons rich;
    // The extra characters after the expression leave a hint behind.
    run_answered("x = 1 2\n", answer_buttons, &rich);
    ASSERT_TRUE(rich.found);
    EXPECT_TRUE(rich.more_info_enabled);
    EXPECT_TRUE(rich.support_visible);
    EXPECT_EQ(rich.version, "Runner 2.5\nQOB Version: 1.0.0");
    EXPECT_STREQ(error_info_text(st), "") << "the information is freed after the report";
}

// Opens the traceback from the error dialog, reads it, closes both.
void answer_with_traceback(SeenDialog* error_dialog, SeenDialog* traceback) {
    HWND dialog = wait_for_dialog(kErrorCaption);
    if (!dialog) return;
    error_dialog->found = true;
    error_dialog->location = control_text(dialog, 110);
    press(dialog, 132);
    answer_traceback(traceback);
    press(dialog, IDOK);
}

TEST_F(ReportDialog, TracebackListsEveryFrameAndTheErrorLine) {
    SeenDialog error_dialog, traceback;
    run_answered("While 1 ; padding to thirty-two.\n  GoSub sub1\nEndWhile\nExit\n:sub1\n"
                 "If 1 ; thirty-three characters lo\n  x = 1 2 ; this error line is long enough\nEndIf\nReturn\n",
                 answer_with_traceback, &error_dialog, &traceback);
    ASSERT_TRUE(error_dialog.found);
    ASSERT_TRUE(traceback.found);
    EXPECT_EQ(error_dialog.location, std::string("On line 7 of ") + kScriptPath);
    const std::vector<std::string> expected = {
        "  # Type            Line# Error Line                       Source File",
        "  1 while               1 While 1 ; padding to thirty-two. errs.tqt",
        "  2 gosub               2 gosub sub1                       errs.tqt",
        "  3 if                  6 If 1 ; thirty-three character... errs.tqt",
        "  4 <error>             7 x = 1 2 ; this error line is ... errs.tqt",
    };
    EXPECT_EQ(traceback.rows, expected);
}

// ------------------------------------------------------------ silent mode

class SilentReport : public ErrorPathTest {};

TEST_F(SilentReport, HeadlineAbove99ReplacesTheLineAndCarriesNoLocation) {
    st->statement_buffer = nullptr;
    EXPECT_EQ(ReportError(st, nullptr, 216, 111, SEVERITY_SEVERE), 0);
    EXPECT_STREQ(st->silent_text, "Could not allocate (or lock) work buffer");
    EXPECT_STREQ(st->silent_caption, "111:  Execution Error");
    EXPECT_EQ(st->last_error, 111);
    EXPECT_EQ(st->last_report.number, 111);
    EXPECT_EQ(st->last_report.line, 0);
    EXPECT_STREQ(st->last_report.file, kScriptPath);
}

}  // namespace
