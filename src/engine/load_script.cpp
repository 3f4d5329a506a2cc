// Loading a script file for Call: read, convert, expand #include, scramble
// and run it in a nested run loop; and the reports of failed preparation.
#include "engine/script_loading.h"

#include <string.h>
#include "base/errors.h"
#include "engine/run_loop.h"
#include "lang/error_driver.h"

namespace {

// A report with the headline "Execution Error" above the error; the run
// then stops quietly, the report having been made.
bool fail_loading(EngineState* st, Err error) {
    ReportError(st, st->owner_window, static_cast<int>(Err::ExecutionErrorHeadline), static_cast<int>(error),
                SEVERITY_SEVERE);
    return raise(st, TERMINATE_QUIET);
}

// The first 32-bit word of an encoded script is 1, 2 or 3. Encoded scripts
// are refused rather than decoded.
bool is_encoded(const uint8_t* text, uint32_t size) {
    if (size < 4) return false;
    uint32_t word = text[0] | text[1] << 8 | text[2] << 16 | static_cast<uint32_t>(text[3]) << 24;
    return word >= 1 && word <= 3;
}

// Converts and normalises the file's text in place; false after a report.
bool plain_text(EngineState* st, HGLOBAL block, uint32_t size, uint32_t* length) {
    uint8_t* text = static_cast<uint8_t*>(GlobalLock(block));
    if (!text) return fail_loading(st, Err::ScriptFileLockFailed);
    Err error = Err::None;
    if (is_encoded(text, size)) {
        error = Err::EncodedVerificationFailed;
    } else if (starts_with_utf16_mark(text, size) && ConvertUnicodeScript(st, text, size + 2) == 0) {
        error = Err::UnicodeScriptConvertError;
    }
    if (error == Err::None) {
        NormaliseLineEnds(reinterpret_cast<char*>(text));
        *length = static_cast<uint32_t>(strlen(reinterpret_cast<char*>(text)));
    }
    GlobalUnlock(block);
    return error == Err::None || fail_loading(st, error);
}

// A PrepareScript result below 1: 216, 217 with the name as the line, or 218.
// Expands #include with the file's directory; false after a report.
bool expand_includes(EngineState* st, HGLOBAL* block, const char* path, uint32_t* length) {
    char directory[MAX_PATH];
    const char* slash = strrchr(path, '\\');
    size_t dir_length = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    if (dir_length >= sizeof directory) dir_length = 0;
    memcpy(directory, path, dir_length);
    directory[dir_length] = 0;
    char error_name[MAX_PATH];
    int32_t prepared = PrepareScript(st, block, path, directory, error_name, 0);
    if (prepared > 0) {
        *length = static_cast<uint32_t>(prepared);
        return true;
    }
    report_include_failure(st, st->owner_window, prepared, error_name);
    return raise(st, TERMINATE_QUIET);
}

RunOutcome scramble_and_run(EngineState* st, Value* result, HGLOBAL block, uint32_t length) {
    uint8_t* text = static_cast<uint8_t*>(GlobalLock(block));
    if (!text) {
        fail_loading(st, Err::ScriptFileLockFailed);
        return RUN_STOPPED;
    }
    ScrambleScript(st, text, length);
    GlobalUnlock(block);
    const ScriptBuffer buffer{block, length, 0};
    uint32_t line_start = 0;
    uint32_t position = 0;
    return RunScript(st, result, buffer, &line_start, &position);
}

}  // namespace

FileReadResult read_script_file(HANDLE file, HGLOBAL* block, uint32_t* size) {
    *block = nullptr;
    DWORD end = SetFilePointer(file, 0, nullptr, FILE_END);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    *size = end == INVALID_SET_FILE_POINTER ? 0 : end;
    // Two zero bytes after the text end a UTF-16 text as well.
    *block = GlobalAlloc(GHND, *size + 2);
    if (!*block) return FileReadResult::no_memory;
    void* text = GlobalLock(*block);
    if (!text) return FileReadResult::no_lock;
    DWORD read = 0;
    BOOL ok = ReadFile(file, text, *size, &read, nullptr);
    GlobalUnlock(*block);
    return ok && read == *size ? FileReadResult::ok : FileReadResult::short_read;
}

RunOutcome LoadScriptFile(EngineState* st, Value* result, const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        lstrcpynA(st->offending_line, path, sizeof st->offending_line);
        ReportError(st, st->owner_window, 1, static_cast<int>(Err::ScriptFileNotFound), SEVERITY_SEVERE);
        raise(st, TERMINATE_QUIET);
        return RUN_STOPPED;
    }
    HGLOBAL block = nullptr;
    uint32_t size = 0;
    FileReadResult read = read_script_file(file, &block, &size);
    CloseHandle(file);
    RunOutcome outcome = RUN_STOPPED;
    if (read == FileReadResult::no_memory) {
        fail_loading(st, Err::ScriptFileAllocFailed);
    } else if (read == FileReadResult::no_lock) {
        fail_loading(st, Err::ScriptFileLockFailed);
    } else if (read == FileReadResult::short_read) {
        fail_loading(st, Err::ScriptFileReadError);
    } else {
        uint32_t length = 0;
        if (plain_text(st, block, size, &length) &&
            (!(st->include_flags & INCLUDE_EXPAND) || expand_includes(st, &block, path, &length)))
            outcome = scramble_and_run(st, result, block, length);
    }
    if (block) GlobalFree(block);
    return outcome;
}
