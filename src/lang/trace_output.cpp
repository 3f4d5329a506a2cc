// TraceOutput: one record's access to the trace file. A file that cannot be
// opened drops the record silently; the trace never raises errors.
#include "lang/trace_output.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include "lang/trace.h"

TraceOutput::TraceOutput(EngineState* st) {
    if (!st->trace_file[0]) return;
    if (lstrcmpiA(st->trace_file, TRACE_TO_DEBUGGER) == 0) {
        to_debugger_ = true;
        return;
    }
    // Shared for reading so that a viewer may follow the file as it grows.
    file_ = CreateFileA(st->trace_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ != INVALID_HANDLE_VALUE) SetFilePointer(file_, 0, nullptr, FILE_END);
}

TraceOutput::~TraceOutput() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void TraceOutput::write(const char* text, size_t length) {
    if (length == 0) return;
    if (to_debugger_) {
        char chunk[LINE_BUFFER_BYTES + 1];
        while (length > 0) {
            const size_t part = length < LINE_BUFFER_BYTES ? length : LINE_BUFFER_BYTES;
            memcpy(chunk, text, part);
            chunk[part] = '\0';
            OutputDebugStringA(chunk);
            text += part;
            length -= part;
        }
        return;
    }
    if (file_ == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file_, text, static_cast<DWORD>(length), &written, nullptr);
}

void TraceOutput::put(const char* text) { write(text, strlen(text)); }

// Records are at most a statement and a few labels long; a longer text is
// cut at the buffer's end.
void TraceOutput::printf(const char* format, ...) {
    if (!to_debugger_ && file_ == INVALID_HANDLE_VALUE) return;
    char buffer[2 * LINE_BUFFER_BYTES + 256];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length <= 0) return;
    write(buffer, static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length) : sizeof buffer - 1);
}
