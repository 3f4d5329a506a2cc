// Whole-file reads and writes: FileGet, FileGetW, FilePut and FilePutW,
// streamed in blocks.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"

namespace {

constexpr DWORD kBlockBytes = 32768;

// A whole file in a process-heap block, freed with the reader.
struct FileBytes {
    uint8_t* data = nullptr;
    size_t size = 0;
    ~FileBytes() {
        if (data) HeapFree(GetProcessHeap(), 0, data);
    }
};

bool read_whole_file(EngineState* st, const wchar_t* path, FileBytes* out) {
    HANDLE file = CreateFileW(path, GENERIC_READ, static_cast<DWORD>(st->share_read) | FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return raise(st, Err::FileOpenError);
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0 || raise(st, Err::FileReadError);
    if (ok && size.QuadPart > 0x7FFFFFF0) ok = raise(st, Err::AllocFailed);
    if (ok) {
        out->data = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, static_cast<size_t>(size.QuadPart) + 2));
        ok = out->data != nullptr || raise(st, Err::AllocFailed);
    }
    // A file that grows while it is read keeps the size it had.
    while (ok && out->size < static_cast<size_t>(size.QuadPart)) {
        const size_t left = static_cast<size_t>(size.QuadPart) - out->size;
        DWORD got = 0;
        if (!ReadFile(file, out->data + out->size, left < kBlockBytes ? static_cast<DWORD>(left) : kBlockBytes, &got,
                      nullptr))
            ok = raise(st, Err::FileReadError);
        if (got == 0) break;
        out->size += got;
    }
    CloseHandle(file);
    return ok;
}

// NUL units dropped, or replaced by `stand_in` when it is not 0; in place.
template <typename C>
size_t treat_nuls(C* text, size_t units, C stand_in) {
    size_t kept = 0;
    for (size_t i = 0; i < units; ++i) {
        if (text[i]) text[kept++] = text[i];
        else if (stand_in) text[kept++] = stand_in;
    }
    return kept;
}

// The UTF-16 text of a file that began with a byte-order mark, in place.
wchar_t* utf16_text(FileBytes* bytes, size_t* units) {
    const bool big_endian = bytes->data[0] == 0xFE;
    auto* text = reinterpret_cast<wchar_t*>(bytes->data + 2);
    *units = (bytes->size - 2) / 2;
    if (big_endian)
        for (size_t i = 0; i < *units; ++i) text[i] = static_cast<wchar_t>((text[i] << 8) | (text[i] >> 8));
    return text;
}

bool has_mark(const FileBytes& bytes) {
    return bytes.size >= 2 && ((bytes.data[0] == 0xFF && bytes.data[1] == 0xFE) ||
                               (bytes.data[0] == 0xFE && bytes.data[1] == 0xFF));
}

// The null-char argument: "" or one character.
template <typename C>
bool stand_in_char(EngineState* st, int count, const Value* args, C* out) {
    *out = 0;
    if (count < 2) return true;
    Span<C> text = arg_span<C>(st, args[2]);
    if (text.n > 1) return raise(st, Err::BadNullChar);
    if (text.n == 1) *out = text.p[0];
    return true;
}

// Wide text to an ANSI result; a failing conversion raises 1810.
bool ansi_result(EngineState* st, Value* result, const wchar_t* text, size_t units) {
    BOOL lossy = FALSE;
    const int n = units ? WideCharToMultiByte(st->code_page, 0, text, static_cast<int>(units), nullptr, 0, nullptr,
                                              nullptr)
                        : 0;
    if (units && n == 0) return raise(st, Err::UnicodeConvertError);
    char* out = new_result_text<char>(st, result, static_cast<size_t>(n));
    if (out && n) WideCharToMultiByte(st->code_page, 0, text, static_cast<int>(units), out, n, nullptr, &lossy);
    return out != nullptr;
}

bool wide_result(EngineState* st, Value* result, const char* text, size_t bytes) {
    const int n = bytes ? MultiByteToWideChar(st->code_page, 0, text, static_cast<int>(bytes), nullptr, 0) : 0;
    if (bytes && n == 0) return raise(st, Err::UnicodeConvertError);
    wchar_t* out = new_result_text<wchar_t>(st, result, static_cast<size_t>(n));
    if (out && n) MultiByteToWideChar(st->code_page, 0, text, static_cast<int>(bytes), out, n);
    return out != nullptr;
}

// FileGet(filename, null-char) and FileGetW(filename, null-char): one
// worker, the result ANSI (C = char) or wide (C = wchar_t).
template <typename C>
void file_get(EngineState* st, int count, Value* result, Value* args) {
    C stand_in;
    if (!stand_in_char<C>(st, count, args, &stand_in)) return;
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    FileBytes bytes;
    if (!read_whole_file(st, path.s, &bytes)) return;
    if (has_mark(bytes)) {
        size_t units;
        wchar_t* text = utf16_text(&bytes, &units);
        units = treat_nuls<wchar_t>(text, units, static_cast<wchar_t>(stand_in));
        if (sizeof(C) == 2) (void)set_result<wchar_t>(st, result, Span<wchar_t>{text, units});
        else (void)ansi_result(st, result, text, units);
        return;
    }
    char* text = reinterpret_cast<char*>(bytes.data);
    const size_t size = treat_nuls<char>(text, bytes.size, static_cast<char>(stand_in));
    if (sizeof(C) == 1) (void)set_result<char>(st, result, Span<char>{text, size});
    else (void)wide_result(st, result, text, size);
}

BUILTIN(file_get_ansi) { file_get<char>(st, count, result, args); }
BUILTIN(file_get_wide) { file_get<wchar_t>(st, count, result, args); }

// Writes all bytes or, failing, removes the half-written file.
bool write_new_file(EngineState* st, const wchar_t* path, const void* mark, size_t mark_bytes, const void* data,
                    size_t bytes) {
    if (read_only_file(path)) return raise(st, Err::FileOpenError);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, static_cast<DWORD>(st->share_write), nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return raise(st, Err::FileOpenError);
    bool ok = true;
    const uint8_t* parts[2] = {static_cast<const uint8_t*>(mark), static_cast<const uint8_t*>(data)};
    const size_t sizes[2] = {mark_bytes, bytes};
    for (int part = 0; ok && part < 2; ++part) {
        for (size_t done = 0; ok && done < sizes[part];) {
            const size_t left = sizes[part] - done;
            DWORD written = 0;
            const DWORD chunk = left < kBlockBytes ? static_cast<DWORD>(left) : kBlockBytes;
            ok = WriteFile(file, parts[part] + done, chunk, &written, nullptr) && written == chunk;
            done += written;
        }
    }
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(path);
        return raise(st, Err::FileWriteError);
    }
    return true;
}

// FilePut(filename, text): the text's bytes as they stand.
BUILTIN(file_put) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    Span<char> text = arg_span<char>(st, args[2]);
    if (!write_new_file(st, path.s, nullptr, 0, text.p, text.n)) return;
    set_int_result(result, static_cast<int32_t>(text.n));
}

// FilePutW(filename, text): a UTF-16 little-endian file with its mark.
BUILTIN(file_put_wide) {
    PathText path;
    if (!arg_path(st, args[1], &path)) return;
    Span<wchar_t> text = arg_span<wchar_t>(st, args[2]);
    const wchar_t mark = 0xFEFF;
    if (!write_new_file(st, path.s, &mark, 2, text.p, text.n * 2)) return;
    set_int_result(result, static_cast<int32_t>(text.n * 2 + 2));
}

}  // namespace

extern const BuiltinRow kFileWholeBuiltins[] = {
    BUILTIN_ROW("fileget", file_get_ansi),
    BUILTIN_ROW("filegetw", file_get_wide),
    BUILTIN_ROW("fileput", file_put),
    BUILTIN_ROW("fileputw", file_put_wide),
};
extern const size_t kFileWholeBuiltinCount = sizeof(kFileWholeBuiltins) / sizeof(kFileWholeBuiltins[0]);
