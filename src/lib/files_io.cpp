// Line input and output through numbered handles: FileOpen, FileRead,
// FileWrite and FileClose over ANSI and UTF-16 text files.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/file_table.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"

namespace {

constexpr uint8_t KIND_ANSI = 0, KIND_UTF16LE = 1, KIND_UTF16BE = 2;
// Without a read buffer a line may not reach this many bytes.
constexpr size_t kUnbufferedLineBytes = 1280;
constexpr wchar_t kCtrlZ = 26;

// ------------------------------------------------------------------ FileOpen

enum class OpenMode { Read, Write, Append };

bool parse_mode(EngineState* st, const char* text, OpenMode* mode) {
    if (lstrcmpiA(text, "READ") == 0) *mode = OpenMode::Read;
    else if (lstrcmpiA(text, "WRITE") == 0) *mode = OpenMode::Write;
    else if (lstrcmpiA(text, "APPEND") == 0) *mode = OpenMode::Append;
    else return raise(st, Err::FileOpenBadMode);
    return true;
}

// The text kind that a byte-order mark at the file's start announces.
uint8_t kind_of_mark(const uint8_t mark[2], DWORD got) {
    if (got == 2 && mark[0] == 0xFF && mark[1] == 0xFE) return KIND_UTF16LE;
    if (got == 2 && mark[0] == 0xFE && mark[1] == 0xFF) return KIND_UTF16BE;
    return KIND_ANSI;
}

uint8_t existing_kind(const wchar_t* path, DWORD share) {
    HANDLE file = CreateFileW(path, GENERIC_READ, share | FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return KIND_ANSI;
    uint8_t mark[2];
    DWORD got = 0;
    const bool read = ReadFile(file, mark, 2, &got, nullptr);
    CloseHandle(file);
    return read ? kind_of_mark(mark, got) : KIND_ANSI;
}

// Reads the byte-order mark of a file opened for reading and sizes its buffer.
bool prepare_reading(EngineState* st, FileEntry* slot) {
    uint8_t mark[2];
    DWORD got = 0;
    if (!ReadFile(slot->handle, mark, 2, &got, nullptr)) got = 0;
    slot->text_kind = kind_of_mark(mark, got);
    if (slot->text_kind == KIND_ANSI) SetFilePointer(slot->handle, 0, nullptr, FILE_BEGIN);
    const int32_t setting = st->read_buffer_setting;
    if (setting == 0) return true;
    LARGE_INTEGER size{};
    GetFileSizeEx(slot->handle, &size);
    uint64_t bytes = setting < 0 ? static_cast<uint64_t>(size.QuadPart) : static_cast<uint64_t>(setting);
    bytes = slot->text_kind == KIND_ANSI ? bytes + 1 : bytes * 2 + 2;
    if (bytes > 0x7FFFFFF0u) return raise(st, Err::AllocFailed);
    slot->buffer = GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes));
    if (!slot->buffer) return raise(st, Err::AllocFailed);
    slot->buffer_size = static_cast<uint32_t>(bytes);
    return true;
}

// FileOpen(filename, mode, unicode)
BUILTIN(file_open) {
    FileEntry* slot = free_file_slot(st);
    if (!slot) return (void)raise(st, Err::FileOpenTooMany);
    OpenMode mode = OpenMode::Read;
    if (!parse_mode(st, value_text(st, args[2].v), &mode)) return;
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    const bool unicode = count >= 3 && args[3].v.integer == 1;
    const UINT previous_errors = SetErrorMode(SEM_FAILCRITICALERRORS);
    uint8_t kind = KIND_ANSI;
    if (mode == OpenMode::Append) kind = existing_kind(path.s, static_cast<DWORD>(st->share_write));
    const bool reading = mode == OpenMode::Read;
    HANDLE file = !reading && read_only_file(path.s) ? INVALID_HANDLE_VALUE
                : CreateFileW(path.s, reading ? GENERIC_READ : GENERIC_WRITE,
                              static_cast<DWORD>(reading ? st->share_read : st->share_write), nullptr,
                              reading ? OPEN_EXISTING : mode == OpenMode::Write ? CREATE_ALWAYS : OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    SetErrorMode(previous_errors);
    if (file == INVALID_HANDLE_VALUE) {
        record_platform_error(st, "CreateFile");
        return (void)raise(st, Err::FileOpenFailed);
    }
    *slot = FileEntry{};
    slot->handle = file;
    WideCharToMultiByte(st->code_page, 0, path.s, -1, slot->name, sizeof slot->name, nullptr, nullptr);
    slot->mode = reading ? FILE_MODE_READ : FILE_MODE_WRITE;
    if (reading) {
        slot->unicode_result = unicode;
        if (!prepare_reading(st, slot)) return close_file_slot(slot);
    } else if (mode == OpenMode::Append) {
        slot->text_kind = kind;
        LARGE_INTEGER end{};
        SetFilePointerEx(file, end, &end, FILE_END);
        // Text added to a file that already holds text needs no second mark.
        if (end.QuadPart > 0) slot->mode |= FILE_MODE_WRITTEN;
    } else {
        slot->text_kind = unicode ? KIND_UTF16LE : KIND_ANSI;
    }
    result->v.integer = file_handle_number(file);
    result->v.flags = VF_FILE;
}

// ------------------------------------------------------------------ FileRead

// The next unit of the file into *unit; false at the physical end. Read
// errors raise 3088. NUL units are skipped as they come.
template <typename U>
bool next_unit(EngineState* st, FileEntry* slot, U* unit, bool* failed) {
    for (;;) {
        if (!slot->buffer) {
            DWORD got = 0;
            if (!ReadFile(slot->handle, unit, sizeof(U), &got, nullptr)) {
                *failed = true;
                return raise(st, Err::FileReadPastEnd);
            }
            if (got < sizeof(U)) return false;
        } else {
            if (slot->read_pos + sizeof(U) > slot->read_end) {
                DWORD got = 0;
                if (!ReadFile(slot->handle, slot->buffer, slot->buffer_size, &got, nullptr)) {
                    *failed = true;
                    return raise(st, Err::FileReadPastEnd);
                }
                slot->read_pos = 0;
                slot->read_end = got;
                if (got < sizeof(U)) return false;
            }
            memcpy(unit, static_cast<uint8_t*>(static_cast<void*>(slot->buffer)) + slot->read_pos, sizeof(U));
            slot->read_pos += sizeof(U);
        }
        if (slot->text_kind == KIND_UTF16BE) *unit = static_cast<U>(((*unit & 0xFF) << 8) | ((*unit >> 8) & 0xFF));
        if (*unit != 0) return true;
    }
}

bool return_eof(EngineState* st, FileEntry* slot, Value* result) {
    slot->mode |= FILE_MODE_AT_END | FILE_MODE_EOF_GIVEN;
    return set_value_text(st, &result->v, "*EOF*", 5);
}

// One line as the result, in the form the slot asks for.
bool line_result(EngineState* st, FileEntry* slot, Span<char> line, Value* result) {
    if (!slot->unicode_result) return set_result<char>(st, result, line);
    const int n = line.n ? MultiByteToWideChar(st->code_page, 0, line.p, static_cast<int>(line.n), nullptr, 0) : 0;
    wchar_t* out = new_result_text<wchar_t>(st, result, static_cast<size_t>(n));
    if (out && n) MultiByteToWideChar(st->code_page, 0, line.p, static_cast<int>(line.n), out, n);
    return out != nullptr;
}
bool line_result(EngineState* st, FileEntry* slot, Span<wchar_t> line, Value* result) {
    if (slot->unicode_result) return set_result<wchar_t>(st, result, line);
    return set_path_result(st, result, line.p, line.n, false);
}

template <typename U>
void read_line(EngineState* st, FileEntry* slot, Value* result) {
    const size_t limit = slot->buffer ? slot->buffer_size / sizeof(U) : kUnbufferedLineBytes / sizeof(U);
    TextBuffer<U> line;
    bool failed = false;
    U unit = 0;
    for (;;) {
        if (!next_unit(st, slot, &unit, &failed) || unit == kCtrlZ) {
            if (failed) return;
            slot->mode |= FILE_MODE_AT_END;
            if (line.size() == 0) return (void)return_eof(st, slot, result);
            break;
        }
        if (unit == '\n') break;
        if (unit == '\r') continue;
        if (line.size() + 1 >= limit) return (void)raise(st, Err::FileReadLineTooLong);
        if (!line.append(st, &unit, 1)) return;
    }
    (void)line_result(st, slot, line.span(), result);
}

// FileRead(handle)
BUILTIN(file_read) {
    FileEntry* slot = find_file_slot(st, args[1].v.integer);
    if (!slot) return (void)raise(st, Err::FileReadNotOpen);
    if (!(slot->mode & FILE_MODE_READ)) return (void)raise(st, Err::FileReadWrongMode);
    if (slot->mode & FILE_MODE_EOF_GIVEN) return (void)raise(st, Err::FileReadPastEnd);
    if (slot->mode & FILE_MODE_AT_END) return (void)return_eof(st, slot, result);
    if (slot->text_kind == KIND_ANSI) read_line<char>(st, slot, result);
    else read_line<wchar_t>(st, slot, result);
}

// ------------------------------------------------------------------ FileWrite

const char* const kTerminators[] = {"", "\r\n", "\n", "\r", "\t"};

bool write_bytes(EngineState* st, FileEntry* slot, const void* data, size_t bytes) {
    DWORD written = 0;
    if (bytes == 0) return true;
    if (WriteFile(slot->handle, data, static_cast<DWORD>(bytes), &written, nullptr) && written == bytes) return true;
    record_platform_error(st, "WriteFile");
    return raise(st, Err::FileWriteFailed);
}

// Wide text in the slot's byte order.
bool write_units(EngineState* st, FileEntry* slot, wchar_t* text, size_t units) {
    if (slot->text_kind == KIND_UTF16BE)
        for (size_t i = 0; i < units; ++i) text[i] = static_cast<wchar_t>((text[i] << 8) | (text[i] >> 8));
    return write_bytes(st, slot, text, units * sizeof(wchar_t));
}

bool write_ansi_slot(EngineState* st, FileEntry* slot, const Value& arg) {
    if (!(arg.v.flags & VF_UNICODE)) {
        const char* text = value_text(st, arg.v);
        return write_bytes(st, slot, text, text ? strlen(text) : 0);
    }
    wchar_t* wide;
    size_t units;
    if (!arg_wide(st, arg, &wide, &units)) return false;
    const int bytes = units ? WideCharToMultiByte(st->code_page, 0, wide, static_cast<int>(units), nullptr, 0, nullptr, nullptr) : 0;
    char* ansi = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<size_t>(bytes) + 1));
    bool ok = ansi != nullptr || raise(st, Err::AllocFailed);
    if (ok && bytes) WideCharToMultiByte(st->code_page, 0, wide, static_cast<int>(units), ansi, bytes, nullptr, nullptr);
    if (ok) ok = write_bytes(st, slot, ansi, static_cast<size_t>(bytes));
    if (ansi) HeapFree(GetProcessHeap(), 0, ansi);
    HeapFree(GetProcessHeap(), 0, wide);
    return ok;
}

bool write_wide_slot(EngineState* st, FileEntry* slot, const Value& arg) {
    if (!(slot->mode & FILE_MODE_WRITTEN)) {
        wchar_t mark = 0xFEFF;
        if (!write_units(st, slot, &mark, 1)) return false;
    }
    wchar_t* wide;
    size_t units;
    if (!arg_wide(st, arg, &wide, &units)) return false;
    const bool ok = write_units(st, slot, wide, units);
    HeapFree(GetProcessHeap(), 0, wide);
    return ok;
}

bool write_terminator(EngineState* st, FileEntry* slot) {
    const int32_t which = st->line_terminator >= 0 && st->line_terminator <= 4 ? st->line_terminator : 1;
    const char* end = kTerminators[which];
    if (slot->text_kind == KIND_ANSI) return write_bytes(st, slot, end, strlen(end));
    wchar_t units[2];
    size_t n = 0;
    for (; end[n]; ++n) units[n] = static_cast<wchar_t>(end[n]);
    return write_units(st, slot, units, n);
}

// FileWrite(handle, text)
BUILTIN(file_write) {
    FileEntry* slot = find_file_slot(st, args[1].v.integer);
    if (!slot) return (void)raise(st, Err::FileWriteNotOpen);
    if (!(slot->mode & FILE_MODE_WRITE)) return (void)raise(st, Err::FileWriteWrongMode);
    const bool ok = slot->text_kind == KIND_ANSI ? write_ansi_slot(st, slot, args[2]) : write_wide_slot(st, slot, args[2]);
    if (!ok) return;
    slot->mode |= FILE_MODE_WRITTEN;
    (void)write_terminator(st, slot);
}

// FileClose(handle)
BUILTIN(file_close) {
    FileEntry* slot = find_file_slot(st, args[1].v.integer);
    if (!slot) return (void)raise(st, Err::FileCloseNotOpen);
    close_file_slot(slot);
}

}  // namespace

extern const BuiltinRow kFileIoBuiltins[] = {
    BUILTIN_ROW("fileclose", file_close),
    BUILTIN_ROW("fileopen", file_open),
    BUILTIN_ROW("fileread", file_read),
    BUILTIN_ROW("filewrite", file_write),
};
extern const size_t kFileIoBuiltinCount = sizeof(kFileIoBuiltins) / sizeof(kFileIoBuiltins[0]);
