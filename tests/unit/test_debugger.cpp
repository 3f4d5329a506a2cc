// The interactive debugger: its dialog on the display (DISPLAY=:55), driven
// by a second thread that presses Next, Run and Cancel as a user would, and
// the "&Show Var" lookup.
#include <string>
#include <thread>
#include <vector>
#include "base/error_numbers.h"
#include "engine/run_loop.h"
#include "error_fixture.h"
#include "lang/debugger.h"
#include "lang/host_call.h"
#include "lang/pump.h"
#include "resources/debugger_ids.h"

namespace {

constexpr char kDebugCaption[] = "Debug";

// One stop of the debugger as the user saw it.
struct Stop {
    std::string statement, outcome, variable;
};

// Waits for the debugger, answers each stop with the next button of
// `buttons` (Next when they run out) until it has pressed Run or Cancel or
// `limit` stops passed.
void answer_debugger(std::vector<int> buttons, size_t limit, std::vector<Stop>* stops) {
    for (size_t i = 0; i < limit; ++i) {
        HWND dialog = wait_for_dialog(kDebugCaption);
        if (!dialog) return;
        stops->push_back({control_text(dialog, IDC_DEBUG_STATEMENT), control_text(dialog, IDC_DEBUG_OUTCOME),
                          control_text(dialog, IDC_DEBUG_VARIABLE)});
        const int button = i < buttons.size() ? buttons[i] : IDC_DEBUG_NEXT;
        press(dialog, button);
        // The same window must not be read twice.
        for (int wait = 0; wait < 250 && IsWindow(dialog); ++wait) Sleep(20);
        if (button != IDC_DEBUG_NEXT || stops->back().statement == ";;;END OF JOB;;;") return;
    }
}

class DebuggerDialog : public ErrorPathTest {
protected:
    void SetUp() override {
        ErrorPathTest::SetUp();
        st->debug_rect_saved = 0;
        st->debugger_started = 0;
    }

    // Runs `text` under the answering thread; the stops it saw.
    std::vector<Stop> debug(const char* text, std::vector<int> buttons, size_t limit) {
        std::vector<Stop> stops;
        run_answered(text, answer_debugger, buttons, limit, &stops);
        return stops;
    }
    static std::vector<std::string> statements(const std::vector<Stop>& stops) {
        std::vector<std::string> out;
        for (const Stop& stop : stops) out.push_back(stop.statement);
        return out;
    }
};

TEST_F(DebuggerDialog, NextStepsThenRunGoesOn) {
    const std::vector<Stop> stops = debug("Debug(1, \"a\")\na = 1\nb = 2\nc = 3", {IDC_DEBUG_NEXT, IDC_DEBUG_RUN}, 5);
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(stops[0].statement, "*** Debug Initialized ***");
    EXPECT_EQ(stops[0].outcome, "VALUE => 0");
    EXPECT_EQ(stops[0].variable, "a = ??? Unknown Variable");
    EXPECT_EQ(stops[1].statement, "b = 2");
    EXPECT_EQ(stops[1].outcome, "VALUE => 1");
    EXPECT_EQ(stops[1].variable, "a = \"1\"");
    EXPECT_EQ(text_var("c"), "3") << "Run went on to the end";
    EXPECT_EQ(st->debug_switches, 0u) << "Run switched the debugger off";
    EXPECT_TRUE(st->debug_rect_saved);
}

TEST_F(DebuggerDialog, CancelStopsBeforeTheStatement) {
    const std::vector<Stop> stops = debug("Debug(1)\na = 1\nb = 2\nc = 3", {IDC_DEBUG_NEXT, IDC_DEBUG_CANCEL}, 5);
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(text_var("a"), "1");
    EXPECT_FALSE(defined("b"));
    EXPECT_EQ(st->last_run_error, TERMINATE_CANCEL);
}

TEST_F(DebuggerDialog, ModeMinusOneStopsInSkippedRegions) {
    const std::vector<Stop> stops = debug("Debug(-1)\nIf 0\nhidden = 1\nEndIf\nshown = 2", {}, 8);
    const std::vector<std::string> expected{"*** Debug Initialized ***", "hidden = 1", "EndIf", "shown = 2", ";;;END OF JOB;;;"};
    EXPECT_EQ(statements(stops), expected);
    EXPECT_FALSE(defined("hidden"));
}

TEST_F(DebuggerDialog, ModeOnePassesSkippedRegionsBy) {
    const std::vector<Stop> stops = debug("Debug(1)\nIf 0\nhidden = 1\nEndIf\nshown = 2", {}, 8);
    // EndIf begins inside the skipped region, so the debugger passes it by;
    // the next stop shows its outcome as the previous statement's.
    const std::vector<std::string> expected{"*** Debug Initialized ***", "shown = 2", ";;;END OF JOB;;;"};
    EXPECT_EQ(statements(stops), expected);
    ASSERT_GE(stops.size(), 2u);
    EXPECT_EQ(stops[1].outcome, "END OPERATOR");
}

TEST_F(DebuggerDialog, SilentModeStopsToo) {
    st->silent = 1;
    const std::vector<Stop> stops = debug("Debug(1)\na = 1", {IDC_DEBUG_RUN}, 5);
    EXPECT_EQ(stops.size(), 1u);
    EXPECT_EQ(text_var("a"), "1");
}

// ------------------------------------------------------------------ Show Var

class ShowVar : public ErrorPathTest {
protected:
    std::string show(const char* input) {
        char text[LINE_BUFFER_BYTES];
        show_variable_text(st, input, text, sizeof text);
        return text;
    }
};

TEST_F(ShowVar, NamesValuesAndUnknowns) {
    ASSERT_TRUE(set_variable_int(st, "count", 12));
    ASSERT_TRUE(set_variable_text(st, "words", "two words"));
    EXPECT_EQ(show("count"), "count = \"12\"");
    EXPECT_EQ(show("  words = old value"), "words = \"two words\"") << "the old answer is replaced";
    EXPECT_EQ(show("missing"), "missing = ??? Unknown Variable");
    EXPECT_EQ(show(""), " = ??? Unknown Variable");
    EXPECT_EQ(st->error, 0) << "a failed lookup leaves no error";
}

TEST_F(ShowVar, ArrayElementsThroughTheEvaluator) {
    ASSERT_TRUE(run("arr = ArrDimension(3)\narr[1] = \"mid\""));
    EXPECT_EQ(show("arr[1] = x"), "arr[1] = \"mid\"") << "the blank inside brackets does not end the name";
    EXPECT_EQ(show("arr[ 1 ]"), "arr[ 1 ] = \"mid\"");
    EXPECT_EQ(show("arr[7]"), "arr[7] = ??? Unknown Variable");
    EXPECT_EQ(st->error, 0);
}

}  // namespace
