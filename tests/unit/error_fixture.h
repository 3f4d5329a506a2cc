// A live engine that runs whole scripts through ProcessDaBatBuffer, with
// readers for the variables they leave and a thread that answers the error
// dialogs on the display (DISPLAY=:55 under Xvfb).
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include "base/error_numbers.h"
#include "builtin_fixture.h"
#include "engine/entry.h"
#include "kestr44i.h"
#include "lang/error_driver.h"
#include "lang/variables.h"

class ErrorPathTest : public BuiltinTest {
protected:
    static constexpr const char* kScriptPath = "C:\\tests\\errs.tqt";

    void SetUp() override {
        BuiltinTest::SetUp();
        lstrcpynA(st->script_path, kScriptPath, MAX_PATH);
        st->error_handler_mode = 0;
        st->cancel_handler_mode = 0;
    }

    // Runs `text` as the host would (with the host's function handler and
    // table when given); false when the engine refused it.
    bool run(const std::string& text, void* host_handler = nullptr, const void* host_keywords = nullptr) {
        return run_entry(text, host_handler, host_keywords) == 1;
    }

    // Runs `text` while a second thread answers its dialogs with
    // answer(arguments...); the engine must take the text.
    template <typename Answer, typename... Arguments>
    void run_answered(const std::string& text, Answer answer, Arguments... arguments) {
        std::thread user(answer, arguments...);
        const bool ran = run(text);
        user.join();
        EXPECT_TRUE(ran) << text;
    }
};

// What the answering thread saw of one dialog.
struct SeenDialog {
    bool found = false;
    std::string caption;
    std::string error_text;  // control 102
    std::string location;    // control 110
    std::string line;        // control 120
    bool has_exit_button = false;
    std::vector<std::string> rows;  // a list box's rows (the traceback)
};

// Waits up to five seconds for a dialog of this process titled `caption`.
inline HWND wait_for_dialog(const char* caption) {
    for (int i = 0; i < 250; ++i) {
        HWND dialog = FindWindowA("#32770", caption);
        if (dialog && IsWindowVisible(dialog)) {
            DWORD process = 0;
            GetWindowThreadProcessId(dialog, &process);
            if (process == GetCurrentProcessId()) return dialog;
        }
        Sleep(20);
    }
    return nullptr;
}

inline std::string control_text(HWND dialog, int id) {
    char text[LINE_BUFFER_BYTES] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// Presses a button the way a click does: the dialog gets BN_CLICKED.
inline void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Reads the error dialog titled `caption`, then presses button `button`.
inline void answer_error_dialog(const char* caption, int button, SeenDialog* seen) {
    HWND dialog = wait_for_dialog(caption);
    if (!dialog) return;
    seen->found = true;
    char title[256] = "";
    GetWindowTextA(dialog, title, sizeof title);
    seen->caption = title;
    seen->error_text = control_text(dialog, 102);
    seen->location = control_text(dialog, 110);
    seen->line = control_text(dialog, 120);
    seen->has_exit_button = GetDlgItem(dialog, IDCANCEL) != nullptr;
    press(dialog, button);
}

// Reads every row of the traceback's list box, then closes it.
inline void answer_traceback(SeenDialog* seen) {
    HWND dialog = wait_for_dialog("Traceback");
    if (!dialog) return;
    seen->found = true;
    HWND list = GetDlgItem(dialog, 100);
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char row[LINE_BUFFER_BYTES] = "";
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row));
        seen->rows.push_back(row);
    }
    press(dialog, IDOK);
}
