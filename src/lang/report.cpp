// Error reports: ReportError and ErrorEvent's own report, the error dialog
// (ERRORMSG, ERRORMSGB) and the traceback dialog (STACKINFO), and the record
// of the last report kept for the host.
#include "lang/error_driver.h"

#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "base/messages.h"
#include "lang/frame_types.h"
#include "lang/keyword_table.h"
#include "lang/value.h"
#include "resources/dialog_ids.h"

bool (*g_function_body_buffer)(EngineState* st, uint16_t index, ScriptBuffer* out) = nullptr;

namespace {

constexpr size_t TRACEBACK_LINE_CHARS = 32;  // longer line texts are cut to 29 and "..."
constexpr size_t TRACEBACK_CUT_CHARS = 29;
constexpr uint8_t RESOLVED_GOSUB = 158;  // first byte of a statement rewritten by the jump cache
constexpr uint8_t RESOLVED_GOTO = 159;
constexpr size_t RESOLVED_JUMP_BYTES = 5;  // the marker and four position characters

EngineState* dialog_state(HWND dialog) {
    return reinterpret_cast<EngineState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void play_system_sound(EngineState* st, const char* alias) {
    if (st->sounds) PlaySoundA(alias, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
}

void set_message_text(EngineState* st, HWND dialog, int control, Err message) {
    char text[LINE_BUFFER_BYTES];
    message_text(st, static_cast<int>(message), text, sizeof text);
    SetDlgItemTextA(dialog, control, text);
}

const char* message(EngineState* st, Err number, char* buffer, int size) {
    message_text(st, static_cast<int>(number), buffer, size);
    return buffer;
}

const char* file_part(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

// The buffer the statement being driven came from, as RunStatement noted it.
// A report made before any statement of a new run (a preparation failure)
// may find the block of an earlier run already freed.
bool statement_buffer(const EngineState* st, ScriptBuffer* out) {
    if (!st->statement_buffer || GlobalSize(st->statement_buffer) == 0) return false;
    *out = ScriptBuffer{st->statement_buffer, st->statement_buffer_length, st->statement_buffer_base};
    return true;
}

// ------------------------------------------------------------ report record

// Keeps the report for the host: where the failing line came from and the
// text shown. Reports of preparation failures carry no line.
void record_report(EngineState* st, int error, bool has_line) {
    ErrorReport& report = st->last_report;
    report.number = real_error_number(st, error);
    report.line = 0;
    report.line_in_function = 0;
    report.marker_level = -1;
    lstrcpynA(report.file, st->script_path, MAX_PATH);
    lstrcpynA(report.text, st->error_text, LINE_BUFFER_BYTES);
    report.function[0] = '\0';
    if (st->current_function != NO_FUNCTION) {
        uint16_t length = 0;
        const char* name = user_function_name(st, UDF_ID_BASE + st->current_function, &length);
        if (name) lstrcpynA(report.function, name, VARIABLE_NAME_BYTES);
    }
    ScriptBuffer buffer;
    if (!has_line || !statement_buffer(st, &buffer)) return;
    // The pending error must not make the locator give up.
    PendingErrorAside aside(st->error);
    LineLocation where;
    memset(&where, 0, sizeof where);
    where.marker_level = -1;
    report.line = LocateLine(st, buffer, st->statement_position, st->current_function, &where);
    report.line_in_function = where.line_in_function;
    report.marker_level = where.marker_level;
    if (where.file[0]) lstrcpynA(report.file, where.file, MAX_PATH);
}

// Runs ERRORMSG or ERRORMSGB; a dialog that cannot be created falls back to
// a message box with the same choice.
int run_error_dialog(EngineState* st, HWND owner, bool stop_only) {
    play_system_sound(st, "SystemHand");
    if (st->host_window && IsIconic(st->host_window)) ShowWindow(st->host_window, SW_RESTORE);
    HWND parent = owner ? owner : st->host_window;
    INT_PTR answer = DialogBoxParamA(engine_module(), stop_only ? "ERRORMSG" : "ERRORMSGB", parent,
                                     ErrorMsgProc, reinterpret_cast<LPARAM>(st));
    if (answer > 0) return static_cast<int>(answer);
    const UINT flags = stop_only ? MB_ICONHAND : MB_OKCANCEL | MB_ICONEXCLAMATION;
    return MessageBoxA(parent, st->offending_line, st->error_text, flags | MB_SETFOREGROUND);
}

int show_report(EngineState* st, HWND owner, int error, int severity, bool has_line) {
    record_report(st, error, has_line);
    const bool stop_only = st->error_mode == ERRMODE_CANCEL || severity == SEVERITY_SEVERE;
    int answer;
    if (st->silent) {
        const UINT flags = stop_only ? MB_ICONHAND : MB_OKCANCEL | MB_ICONEXCLAMATION;
        answer = MessageOrLog(st, owner, st->offending_line, st->error_text, flags | MB_SETFOREGROUND);
    } else {
        answer = run_error_dialog(st, owner, stop_only);
    }
    if (stop_only || answer == IDCANCEL || answer == IDC_ERR_SUPPORT) return 0;
    return 1;
}

void format_error_text(EngineState* st, int error) {
    char text[LINE_BUFFER_BYTES];
    message_text(st, error, text, sizeof text);
    if (error > 99)
        snprintf(st->error_text, LINE_BUFFER_BYTES, "%d:  %s", error, text);
    else
        lstrcpynA(st->error_text, text, LINE_BUFFER_BYTES);
}

Err user_error_for(int severity) {
    switch (severity) {
    case -1: return Err::UserMinorError;
    case -2: return Err::UserModerateError;
    case -3: return Err::UserSevereError;
    default: return Err::None;
    }
}

bool error_handler_armed(const EngineState* st) {
    const int32_t mode = st->error_handler_mode;
    return mode == 1 || mode == 2 || (mode == 3 && g_invoke_handler_function);
}

// ------------------------------------------------------------ error dialog

// Sets a control to prefix + path, the path shortened with an ellipsis so
// that the whole text fits the control's width.
void set_fitted_path_text(HWND control, const char* prefix, const char* path) {
    char fitted[MAX_PATH];
    lstrcpynA(fitted, path, MAX_PATH);
    HDC dc = GetDC(control);
    if (dc) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        RECT box;
        GetClientRect(control, &box);
        SIZE used{};
        GetTextExtentPoint32A(dc, prefix, lstrlenA(prefix), &used);
        const int room = box.right - used.cx;
        if (room > 0) PathCompactPathA(dc, fitted, static_cast<UINT>(room));
        SelectObject(dc, old);
        ReleaseDC(control, dc);
    }
    char text[LINE_BUFFER_BYTES];
    snprintf(text, sizeof text, "%s%s", prefix, fitted);
    SetWindowTextA(control, text);
}

// Control 110: "On line 12 of FILE", "Near line 3", "On line 4 of Routine
// "f"", or "In FILE" when the line is not known. Control 111 names what 110
// leaves out: the routine, or its file.
void fill_location(EngineState* st, HWND dialog) {
    const ErrorReport& report = st->last_report;
    char in_word[32], of_word[32], routine_word[32], line_word[64];
    message(st, Err::InWord, in_word, sizeof in_word);
    message(st, Err::OfWord, of_word, sizeof of_word);
    message(st, Err::RoutineWord, routine_word, sizeof routine_word);
    char prefix[256] = "";
    const char* path = "";
    bool routine_named = false;
    if (report.line > 0) {
        message(st, report.marker_level == 0 ? Err::NearLine : Err::OnLine, line_word, sizeof line_word);
        int used = snprintf(prefix, sizeof prefix, "%s %d", line_word, report.line);
        if (report.marker_level >= 0 && report.file[0]) {
            snprintf(prefix + used, sizeof prefix - used, " %s ", of_word);
            path = report.file;
        } else if (report.marker_level < 0 && report.function[0]) {
            snprintf(prefix + used, sizeof prefix - used, " %s %s \"%s\"", of_word, routine_word, report.function);
            routine_named = true;
        }
    } else if (report.file[0]) {
        snprintf(prefix, sizeof prefix, "%s ", in_word);
        path = report.file;
    }
    set_fitted_path_text(GetDlgItem(dialog, IDC_ERR_WHERE), prefix, path);

    char second[LINE_BUFFER_BYTES] = "";
    if (report.function[0] && !routine_named) {
        snprintf(second, sizeof second, "%s %s \"%s\"", in_word, routine_word, report.function);
        SetDlgItemTextA(dialog, IDC_ERR_WHERE2, second);
    } else if (routine_named && report.file[0]) {
        snprintf(second, sizeof second, "%s ", in_word);
        set_fitted_path_text(GetDlgItem(dialog, IDC_ERR_WHERE2), second, report.file);
    }
}

void fill_error_dialog(EngineState* st, HWND dialog) {
    char caption_word[64], title[LINE_BUFFER_BYTES] = "", text[LINE_BUFFER_BYTES];
    message(st, Err::ErrorCaption, caption_word, sizeof caption_word);
    if (st->host_window) GetWindowTextA(st->host_window, title, sizeof title);
    snprintf(text, sizeof text, "%s  %s", caption_word, title);
    SetWindowTextA(dialog, text);

    SendDlgItemMessageA(dialog, IDC_ERR_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_HAND)), 0);
    SetDlgItemTextA(dialog, IDC_ERR_HEADING, caption_word);
    SetDlgItemTextA(dialog, IDC_ERR_SCRIPT, st->script_path);
    SetDlgItemTextA(dialog, IDC_ERR_TEXT, st->error_text);
    fill_location(st, dialog);
    SetDlgItemTextA(dialog, IDC_ERR_LINE, st->offending_line);

    char label[64], version[64];
    snprintf(text, sizeof text, "%s\n%s %s", st->host_version_text,
             message(st, Err::EngineVersionLabel, label, sizeof label),
             message(st, Err::EngineVersion, version, sizeof version));
    SetDlgItemTextA(dialog, IDC_ERR_VERSION, text);

    set_message_text(st, dialog, IDC_ERR_MORE_INFO, Err::ButtonMoreErrorInfo);
    EnableWindow(GetDlgItem(dialog, IDC_ERR_MORE_INFO), error_info_text(st)[0] != '\0');
    set_message_text(st, dialog, IDC_ERR_TRACEBACK, Err::ButtonTraceback);
    set_message_text(st, dialog, IDC_ERR_SUPPORT, Err::ButtonTechSupport);
    ShowWindow(GetDlgItem(dialog, IDC_ERR_SUPPORT), st->support_address[0] ? SW_SHOW : SW_HIDE);
    // ERRORMSG's single button keeps its own "&OK"; ERRORMSGB has both.
    if (GetDlgItem(dialog, IDCANCEL)) {
        set_message_text(st, dialog, IDOK, Err::ButtonContinue);
        set_message_text(st, dialog, IDCANCEL, Err::ButtonExit);
    }
    SetFocus(GetDlgItem(dialog, IDOK));
}

void show_more_info(EngineState* st, HWND dialog) {
    char title[128];
    message(st, Err::MoreErrorInfoTitle, title, sizeof title);
    MessageBoxA(dialog, error_info_text(st), title, MB_OK | MB_ICONINFORMATION);
}

// ------------------------------------------------------------ traceback

// The buffer a frame was opened in: the statement's own buffer, a function
// body (through the function code's hook), or another script whose block
// size bounds its text.
bool frame_buffer(EngineState* st, const StructureFrame& frame, ScriptBuffer* out) {
    if (!frame.buffer) return false;
    if (frame.buffer == st->statement_buffer) return statement_buffer(st, out);
    if (frame.function != NO_FUNCTION)
        return g_function_body_buffer && g_function_body_buffer(st, frame.function, out);
    const SIZE_T size = GlobalSize(frame.buffer);
    if (size == 0) return false;
    *out = ScriptBuffer{frame.buffer, static_cast<uint32_t>(size - 1), 0};
    return true;
}

const char* frame_type_name(EngineState* st, const StructureFrame& frame) {
    switch (frame.type) {
    case FRAME_IF: return "if";
    case FRAME_ELSE: return "else";
    case FRAME_GOSUB_FALSE:
    case FRAME_GOSUB_TRUE:
    case FRAME_GOSUB_NONE: return "gosub";
    case FRAME_FUNCTION:
        // A function frame keeps its call kind in the resume position.
        switch (frame.resume_position) {
        case 0: return "<udf>";
        case 1: return "<dlg_callback>";
        case 2: return "<err_handler>";
        case 3: return "<com_event>";
        default: return "<callback>";
        }
    default:
        break;
    }
    if (frame.type < 1000) {
        const char* name = keyword_name(st, frame.type);
        if (name && name[0]) return name;
    }
    return "<unknown>";
}

// A statement rewritten by the jump cache reads as its marker byte and four
// position characters; GoTo's blank went into them, GoSub's did not.
void readable_line(const char* text, char* out, size_t size) {
    const uint8_t first = static_cast<uint8_t>(text[0]);
    if ((first == RESOLVED_GOSUB || first == RESOLVED_GOTO) && strlen(text) >= RESOLVED_JUMP_BYTES)
        snprintf(out, size, "%s%s", first == RESOLVED_GOSUB ? "gosub" : "goto ", text + RESOLVED_JUMP_BYTES);
    else
        lstrcpynA(out, text, static_cast<int>(size));
}

void cut_line(const char* text, char* out) {
    const size_t length = strlen(text);
    if (length > TRACEBACK_LINE_CHARS) {
        memcpy(out, text, TRACEBACK_CUT_CHARS);
        strcpy(out + TRACEBACK_CUT_CHARS, "...");
    } else {
        memcpy(out, text, length + 1);
    }
}

void add_row(HWND list, int depth, const char* type, long line, const char* text, const char* file) {
    char cut[TRACEBACK_LINE_CHARS + 1];
    cut_line(text, cut);
    char row[LINE_BUFFER_BYTES];
    snprintf(row, sizeof row, "%3d %-14s %6ld %-32s %s", depth, type, line, cut, file_part(file));
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
}

void add_frame_row(EngineState* st, HWND list, int index) {
    const StructureFrame& frame = st->frames[index];
    LineLocation where;
    memset(&where, 0, sizeof where);
    long line = 0;
    ScriptBuffer buffer;
    if (frame_buffer(st, frame, &buffer)) {
        PendingErrorAside aside(st->error);
        line = LocateLine(st, buffer, frame.line_position, frame.function, &where);
    }
    char text[LINE_BUFFER_BYTES];
    readable_line(where.text, text, sizeof text);
    add_row(list, index + 1, frame_type_name(st, frame), line, text, where.file);
}

void fill_traceback(EngineState* st, HWND list) {
    char header[256];
    snprintf(header, sizeof header, "%3s %-14s %6s %-32s %s", "#", "Type", "Line#", "Error Line", "Source File");
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(header));
    const int depth = st->structure_depth < STRUCTURE_FRAMES ? st->structure_depth : STRUCTURE_FRAMES;
    for (int i = 0; i < depth; ++i) add_frame_row(st, list, i);
    add_row(list, depth + 1, "<error>", st->last_report.line, st->offending_line, st->last_report.file);
}

// Rows can be wider than the list; let it scroll sideways.
void set_list_extent(HWND list) {
    HDC dc = GetDC(list);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    char row[LINE_BUFFER_BYTES];
    for (int i = 0; i < count; ++i) {
        if (SendMessageA(list, LB_GETTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof row)) continue;
        const int length = static_cast<int>(SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row)));
        SIZE size{};
        GetTextExtentPoint32A(dc, row, length, &size);
        if (size.cx > widest) widest = size.cx;
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, widest + 8, 0);
}

}  // namespace

// ------------------------------------------------------------ public

void keep_report(EngineState* st, int error, bool has_line) {
    record_report(st, error, has_line);
    message_text(st, st->last_report.number, st->last_report.text, LINE_BUFFER_BYTES);
}

int show_error_report(EngineState* st, HWND owner, int error, int severity) {
    return show_report(st, owner, error, severity, true);
}

int ReportError(EngineState* st, HWND owner, int headline, int error, int severity) {
    st->last_error = real_error_number(st, error);
    if (st->error_mode == ERRMODE_OFF && severity == SEVERITY_MINOR) return 1;
    if (headline > 99) message_text(st, headline, st->offending_line, LINE_BUFFER_BYTES);
    format_error_text(st, error);
    if (!show_report(st, owner, error, severity, headline <= 99)) return 0;
    st->error = 0;
    return 1;
}

void raise_error_event(EngineState* st, int severity, int code, const char* text) {
    const Err error = user_error_for(severity);
    if (error == Err::None) {
        raise(st, Err::ErrorEventBadSeverity);
        return;
    }
    if (code < 7000 || code > 7999) {
        raise(st, Err::ErrorEventBadCode);
        return;
    }
    st->indirect_error = code;
    lstrcpynA(st->user_error_text, text ? text : "", sizeof st->user_error_text);
    raise(st, error);
    const int error_severity = ErrorSeverity(static_cast<int>(error));
    // The driver passes a minor event under @OFF silently, and a handler
    // takes the event like any other error.
    if (st->error_mode == ERRMODE_OFF && error_severity == SEVERITY_MINOR) return;
    if (error_handler_armed(st)) return;

    char caption[128];
    message(st, Err::UserDefinedErrorCaption, caption, sizeof caption);
    snprintf(st->error_text, LINE_BUFFER_BYTES, "%s  %d: %s", caption, code, st->user_error_text);
    lstrcpynA(st->offending_line, st->statement_line ? st->statement_line : "", LINE_BUFFER_BYTES);
    st->last_error = code;
    const int go_on = show_report(st, nullptr, static_cast<int>(error), error_severity, true);
    free_error_info(st);
    st->error = ERROR_REPORTED_BY_EVENT;
    if (go_on) st->continue_flag = 1;
}

KESTR_STDCALL_EXPORT(ErrorMsgProc, 16);
KESTR_STDCALL_API INT_PTR CALLBACK ErrorMsgProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        fill_error_dialog(reinterpret_cast<EngineState*>(lparam), dialog);
        return FALSE;  // the focus is already on button 1
    case WM_COMMAND: {
        EngineState* st = dialog_state(dialog);
        switch (LOWORD(wparam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        case IDC_ERR_MORE_INFO:
            show_more_info(st, dialog);
            return TRUE;
        case IDC_ERR_TRACEBACK:
            DialogBoxParamA(engine_module(), "STACKINFO", dialog, StackInfoProc, reinterpret_cast<LPARAM>(st));
            return TRUE;
        case IDC_ERR_SUPPORT:
            ShellExecuteA(dialog, "open", st->support_address, nullptr, nullptr, SW_SHOWNORMAL);
            EndDialog(dialog, IDC_ERR_SUPPORT);
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

KESTR_STDCALL_EXPORT(StackInfoProc, 16);
KESTR_STDCALL_API INT_PTR CALLBACK StackInfoProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        EngineState* st = reinterpret_cast<EngineState*>(lparam);
        char caption[128];
        SetWindowTextA(dialog, message(st, Err::TracebackTitle, caption, sizeof caption));
        HWND list = GetDlgItem(dialog, IDC_STACK_LIST);
        SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)), FALSE);
        fill_traceback(st, list);
        set_list_extent(list);
        play_system_sound(st, "SystemAsterisk");
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
