// The overwrite confirmation: mode handling, the time comparison of the
// two files, and the FILEWARN dialog with its eight buttons.
#include "lib/file_prompt.h"

#include <stdio.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "base/messages.h"
#include "lib/path_text.h"
#include "lib/time_text.h"
#include "resources/dialog_ids.h"

namespace {

struct FileLine {
    const wchar_t* name;
    wchar_t line[128];
};

struct PromptTexts {
    EngineState* st;
    FileLine target, source;
};

// "date  time  size" for the dialog.
void describe(const WIN32_FILE_ATTRIBUTE_DATA& data, wchar_t* out, size_t size) {
    FILETIME local;
    SYSTEMTIME t;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &t);
    char when[64];
    file_time_line(t, when, sizeof when);
    const unsigned long long bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    _snwprintf(out, size, L"%hs  %llu bytes", when, bytes);
    out[size - 1] = 0;
}

void set_label(EngineState* st, HWND dialog, int id) {
    char text[128];
    message_text(st, id, text, sizeof text);
    SetDlgItemTextA(dialog, id, text);
}

INT_PTR CALLBACK prompt_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        const auto* texts = reinterpret_cast<const PromptTexts*>(lparam);
        static const int kLabels[] = {IDC_WARN_REPLACE_LABEL, IDC_WARN_WITH_LABEL, IDC_WARN_OVERWRITE,
                                      IDC_WARN_OVERWRITE_ALL, IDC_WARN_SKIP,      IDC_WARN_NEWER,
                                      IDC_WARN_NEWER_ALL,     IDC_WARN_OLDER,     IDC_WARN_OLDER_ALL};
        for (int id : kLabels) set_label(texts->st, dialog, id);
        char caption[128];
        message_text(texts->st, static_cast<int>(Err::ConfirmFileReplaceTitle), caption, sizeof caption);
        SetWindowTextA(dialog, caption);
        SetDlgItemTextW(dialog, IDC_WARN_TARGET, texts->target.name);
        SetDlgItemTextW(dialog, IDC_WARN_TARGET_LINE, texts->target.line);
        SetDlgItemTextW(dialog, IDC_WARN_SOURCE, texts->source.name);
        SetDlgItemTextW(dialog, IDC_WARN_SOURCE_LINE, texts->source.line);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// The button chosen; IDCANCEL when no dialog can be shown (silent mode).
int ask(EngineState* st, const PromptTexts& texts) {
    if (st->sounds) MessageBeep(MB_ICONEXCLAMATION);
    if (st->silent) {
        char text[LINE_BUFFER_BYTES];
        snprintf(text, sizeof text, "%ls\n%ls\n%ls\n%ls", texts.target.name, texts.target.line, texts.source.name,
                 texts.source.line);
        char caption[128];
        message_text(st, static_cast<int>(Err::ConfirmFileReplaceTitle), caption, sizeof caption);
        MessageOrLog(st, st->host_window, text, caption, MB_OKCANCEL | MB_ICONEXCLAMATION);
        return IDCANCEL;
    }
    const INT_PTR chosen = DialogBoxParamA(engine_module(), "FILEWARN", st->host_window, prompt_procedure,
                                           reinterpret_cast<LPARAM>(&texts));
    return chosen <= 0 ? IDCANCEL : static_cast<int>(chosen);
}

OverwriteAnswer proceed_if(bool condition) {
    return condition ? OverwriteAnswer::Proceed : OverwriteAnswer::Skip;
}

OverwriteAnswer cancel(EngineState* st, OverwriteMode* mode) {
    *mode = OverwriteMode::Cancel;
    raise(st, Err::UserCancel);
    return OverwriteAnswer::Cancel;
}

}  // namespace

OverwriteAnswer confirm_overwrite(EngineState* st, OverwriteMode* mode, const wchar_t* source,
                                  const wchar_t* target) {
    if (*mode == OverwriteMode::OverwriteAll) return OverwriteAnswer::Proceed;
    if (*mode == OverwriteMode::Cancel) return cancel(st, mode);
    WIN32_FILE_ATTRIBUTE_DATA target_data, source_data;
    if (!GetFileAttributesExW(target, GetFileExInfoStandard, &target_data)) return OverwriteAnswer::Proceed;
    if (!GetFileAttributesExW(source, GetFileExInfoStandard, &source_data)) return OverwriteAnswer::Skip;
    const bool newer = CompareFileTime(&source_data.ftLastWriteTime, &target_data.ftLastWriteTime) >= 0;
    if (*mode == OverwriteMode::NewerAll) return proceed_if(newer);
    if (*mode == OverwriteMode::OlderAll) return proceed_if(!newer);
    PromptTexts texts{st, {target, {}}, {source, {}}};
    describe(target_data, texts.target.line, 128);
    describe(source_data, texts.source.line, 128);
    switch (ask(st, texts)) {
        case IDC_WARN_OVERWRITE: return OverwriteAnswer::Proceed;
        case IDC_WARN_OVERWRITE_ALL: *mode = OverwriteMode::OverwriteAll; return OverwriteAnswer::Proceed;
        case IDC_WARN_SKIP: return OverwriteAnswer::Skip;
        case IDC_WARN_NEWER: return proceed_if(newer);
        case IDC_WARN_OLDER: return proceed_if(!newer);
        case IDC_WARN_NEWER_ALL: *mode = OverwriteMode::NewerAll; return proceed_if(newer);
        case IDC_WARN_OLDER_ALL: *mode = OverwriteMode::OlderAll; return proceed_if(!newer);
        default: return cancel(st, mode);
    }
}
