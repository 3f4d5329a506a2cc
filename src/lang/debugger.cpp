// The interactive debugger: DebugStep before each statement, its dialog
// procedure DebugProc, and the "&Show Var" lookup.
#include "lang/debugger.h"

#include <stdio.h>
#include <string.h>
#include "base/errors.h"
#include "base/messages.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lang/pump.h"
#include "lang/statements.h"
#include "lang/trace.h"
#include "lang/variables.h"
#include "resources/debugger_ids.h"

namespace {

constexpr DWORD kSettleMilliseconds = 20;  // pumped after the dialog closes
constexpr int kScreenPercent = 95;         // first placement: 95% of the screen less the dialog

// What DebugProc shows, handed over through WM_INITDIALOG.
struct StepView {
    EngineState* st;
    const char* statement;
};

EngineState* dialog_state(HWND dialog) { return reinterpret_cast<EngineState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void set_message(EngineState* st, HWND dialog, int control, Err number) {
    char text[128];
    if (message_text(st, static_cast<int>(number), text, sizeof text) > 0) SetDlgItemTextA(dialog, control, text);
}

// The name part of the variable field: up to the first "=" or blank that
// is not inside brackets.
void variable_name(const char* input, char* out, size_t size) {
    while (*input == ' ') ++input;
    int depth = 0;
    size_t n = 0;
    for (; input[n] && n + 1 < size; ++n) {
        const char c = input[n];
        if (c == '[') ++depth;
        if (c == ']' && depth > 0) --depth;
        if (depth == 0 && (c == '=' || c == ' ')) break;
    }
    memcpy(out, input, n);
    out[n] = '\0';
}

// The value as the debugger shows it, without quotes of its own.
void plain_value_text(EngineState* st, const ValuePayload& value, char* out, size_t size) {
    trace_value_text(st, value, out, size);
    const size_t length = strlen(out);
    if (length >= 2 && out[0] == '"' && out[length - 1] == '"') {
        memmove(out, out + 1, length - 2);
        out[length - 2] = '\0';
    }
}

// A plain name is looked up without creating it; an element goes through
// the evaluator. Errors are cleared: the lookup only answers.
bool lookup_value(EngineState* st, const char* name, char* out, size_t size) {
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    bool found = false;
    if (!strchr(name, '[')) {
        const uint32_t slot = find_var(st, name, 0) & 0xFFFF;
        if (slot != NO_SLOT && st->error == 0) {
            plain_value_text(st, slot_at(st, static_cast<uint16_t>(slot))->v, out, size);
            found = true;
        }
    } else {
        Value value;
        init_value(&value);
        st->error = 0;
        lexer_start(st, name);
        get_token(st);
        if (st->error == 0 && ProcessSubExpression(st, &value, 0, 0) && st->error == 0) {
            plain_value_text(st, value.v, out, size);
            found = true;
        }
        release_value(st, &value);
    }
    return found;
}

void show_variable(EngineState* st, HWND dialog) {
    char input[sizeof st->debug_variable];
    GetDlgItemTextA(dialog, IDC_DEBUG_VARIABLE, input, sizeof input);
    char shown[LINE_BUFFER_BYTES];
    show_variable_text(st, input, shown, sizeof shown);
    SetDlgItemTextA(dialog, IDC_DEBUG_VARIABLE, shown);
}

void place_dialog(EngineState* st, HWND dialog) {
    if (st->debug_rect_saved) {
        const RECT& r = st->debug_rect;
        SetWindowPos(dialog, HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
        return;
    }
    RECT own;
    GetWindowRect(dialog, &own);
    const int x = GetSystemMetrics(SM_CXSCREEN) * kScreenPercent / 100 - (own.right - own.left);
    const int y = GetSystemMetrics(SM_CYSCREEN) * kScreenPercent / 100 - (own.bottom - own.top);
    SetWindowPos(dialog, HWND_TOPMOST, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0, SWP_NOSIZE);
}

void fill_dialog(EngineState* st, HWND dialog, const char* statement) {
    set_message(st, dialog, IDC_DEBUG_NEXT, Err::ButtonNext);
    set_message(st, dialog, IDC_DEBUG_CANCEL, Err::ButtonCancel);
    set_message(st, dialog, IDC_DEBUG_RUN, Err::ButtonRun);
    set_message(st, dialog, IDC_DEBUG_SHOW_VAR, Err::ButtonShowVar);
    set_message(st, dialog, IDC_DEBUG_LABEL, Err::NextStatementLabel);
    // The first appearance greets in place of the statement.
    if (!st->debugger_started) {
        st->debugger_started = 1;
        set_message(st, dialog, IDC_DEBUG_STATEMENT, Err::DebugInitialized);
    } else {
        char text[LINE_BUFFER_BYTES + 8];
        readable_statement(statement ? statement : "", text, sizeof text);
        SetDlgItemTextA(dialog, IDC_DEBUG_STATEMENT, text);
    }
    SetDlgItemTextA(dialog, IDC_DEBUG_OUTCOME, st->debug_outcome);
    SetDlgItemTextA(dialog, IDC_DEBUG_VARIABLE, st->debug_variable);
    if (st->debug_variable[0]) show_variable(st, dialog);
    place_dialog(st, dialog);
}

// The rectangle and the variable's name outlive the dialog.
void close_dialog(HWND dialog, int answer) {
    EngineState* st = dialog_state(dialog);
    if (st) {
        GetWindowRect(dialog, &st->debug_rect);
        st->debug_rect_saved = 1;
        char input[sizeof st->debug_variable];
        GetDlgItemTextA(dialog, IDC_DEBUG_VARIABLE, input, sizeof input);
        variable_name(input, st->debug_variable, sizeof st->debug_variable);
    }
    EndDialog(dialog, answer);
}

}  // namespace

void show_variable_text(EngineState* st, const char* input, char* out, size_t size) {
    char name[256];
    variable_name(input, name, sizeof name);
    char value[LINE_BUFFER_BYTES];
    if (name[0] && lookup_value(st, name, value, sizeof value)) {
        snprintf(out, size, "%s = \"%s\"", name, value);
        return;
    }
    char unknown[128];
    if (message_text(st, static_cast<int>(Err::DebugUnknownVariable), unknown, sizeof unknown) <= 0) unknown[0] = '\0';
    snprintf(out, size, "%s %s", name, unknown);
}

void debugger_note_outcome(EngineState* st, const Value* result) {
    statement_outcome(st, st->statement_kind, st->last_condition, result, nullptr, st->debug_outcome,
                      sizeof st->debug_outcome);
}

bool DebugStep(EngineState* st, const char* statement) {
    const int32_t mode = static_cast<int32_t>(st->debug_switches);
    // Silent mode keeps message boxes from waiting for a person; the
    // debugger is asked for by the script itself and shows all the same.
    if (mode == DEBUG_OFF) return true;
    if (mode != DEBUG_ALL && region_skipped(st)) return true;
    StepView view{st, statement};
    const INT_PTR answer = DialogBoxParamA(engine_module(), "DEBUG", st->host_window, DebugProc,
                                           reinterpret_cast<LPARAM>(&view));
    WaitPumping(st, kSettleMilliseconds);
    SetCursor(st->cursor);
    if (answer == IDC_DEBUG_RUN) st->debug_switches = DEBUG_OFF;
    if (answer == IDC_DEBUG_CANCEL) {
        raise(st, Err::UserCancel);
        return false;
    }
    return true;
}

KESTR_STDCALL_API INT_PTR __stdcall DebugProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        const StepView* view = reinterpret_cast<const StepView*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(view->st));
        fill_dialog(view->st, dialog, view->statement);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_DEBUG_NEXT:
        case IDC_DEBUG_RUN:
        case IDC_DEBUG_CANCEL:
            close_dialog(dialog, LOWORD(wparam));
            return TRUE;
        case IDC_DEBUG_SHOW_VAR:
            if (EngineState* st = dialog_state(dialog)) show_variable(st, dialog);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
KESTR_STDCALL_EXPORT(DebugProc, 16);

void debugger_note_end(EngineState* st) {
    char end[64];
    if (message_text(st, static_cast<int>(Err::EndOfJob), end, sizeof end) <= 0) end[0] = '\0';
    char text[96];
    snprintf(text, sizeof text, ";;;%s;;;", end);
    PendingErrorAside aside(st->error, PendingErrorAside::AsIs);
    (void)DebugStep(st, text);
}
