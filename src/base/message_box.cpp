// MessageOrLog: a real message box, or in silent mode the stored texts and
// an entry in the log file.
#include "base/message_box.h"

#include <stdio.h>
#include <string.h>

#include "base/engine_state.h"

namespace {

void write_text(HANDLE file, const char* text) {
    DWORD written = 0;
    WriteFile(file, text, (DWORD)strlen(text), &written, nullptr);
}

// Entry layout: "MM/DD/YY  hh:mm:ss  <host title>", a blank line, the
// caption, a blank line, the text. No line end follows the text: the next
// entry's header starts right after it.
void append_log_entry(EngineState* st, const char* text, const char* caption) {
    HANDLE file = CreateFileA(st->log_file, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char title[LINE_BUFFER_BYTES] = "";
    if (st->host_window) GetWindowTextA(st->host_window, title, sizeof title);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char header[LINE_BUFFER_BYTES + 64];
    snprintf(header, sizeof header, "%02d/%02d/%02d  %02d:%02d:%02d  %s", now.wMonth, now.wDay,
             now.wYear % 100, now.wHour, now.wMinute, now.wSecond, title);
    write_text(file, header);
    write_text(file, "\r\n\r\n");
    write_text(file, caption);
    write_text(file, "\r\n\r\n");
    write_text(file, text);
    CloseHandle(file);
}

}  // namespace

int MessageOrLog(EngineState* st, HWND owner, const char* text, const char* caption, UINT flags) {
    if (!text) text = "";
    if (!caption) caption = "";
    if (!st->silent) return MessageBoxA(owner ? owner : st->host_window, text, caption, flags);
    lstrcpynA(st->silent_text, text, LINE_MAX_CHARS + 1);
    lstrcpynA(st->silent_caption, caption, LINE_MAX_CHARS + 1);
    if (st->log_file[0]) append_log_entry(st, text, caption);
    return IDCANCEL;  // as if the user chose Cancel, so a reported error ends the run
}
