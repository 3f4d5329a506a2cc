// Binary buffers: reading and writing files (whole, and ranges at 64-bit
// file offsets) and moving data between a buffer and the clipboard.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"

namespace {

// Transfers go in pieces so that one call never asks the system for more
// than it may grant at once.
constexpr DWORD kPieceBytes = 16u << 20;
constexpr int64_t kLargestRead = 0x7FFFFFFF;

// A file handle closed when the call ends.
class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (ok()) CloseHandle(h_);
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// Opens the file an argument names, through the wide entry when the name
// arrived as wide text.
HANDLE open_named(const EngineState* st, const Value& name, DWORD access, DWORD share, DWORD disposition) {
    if ((name.v.flags & VF_UNICODE) && !(name.v.flags & VF_STRING)) {
        const wchar_t* wide = value_wtext(st, name.v);
        return CreateFileW(wide ? wide : L"", access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    const char* text = value_text(st, name.v);
    return CreateFileA(text ? text : "", access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE open_for_reading(const EngineState* st, const Value& name) {
    return open_named(st, name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

bool read_all(HANDLE file, uint8_t* to, uint32_t bytes, uint32_t* done) {
    *done = 0;
    while (*done < bytes) {
        const DWORD want = bytes - *done < kPieceBytes ? bytes - *done : kPieceBytes;
        DWORD got = 0;
        if (!ReadFile(file, to + *done, want, &got, nullptr)) return false;
        if (got == 0) break;
        *done += got;
    }
    return true;
}

bool write_all(HANDLE file, const uint8_t* from, uint32_t bytes) {
    for (uint32_t done = 0; done < bytes;) {
        const DWORD want = bytes - done < kPieceBytes ? bytes - done : kPieceBytes;
        DWORD put = 0;
        if (!WriteFile(file, from + done, want, &put, nullptr) || put != want) return false;
        done += put;
    }
    return true;
}

// BinaryRead(handle, filename): the whole file from offset 0; EOD becomes
// its size.
BUILTIN(bin_read) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    FileHandle file(open_for_reading(st, args[2]));
    if (!file.ok()) return static_cast<void>(raise(st, Err::FileOpenFailed));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return static_cast<void>(raise(st, Err::BinaryReadError));
    if (size.QuadPart > b->size) return static_cast<void>(raise(st, Err::BinaryReadFileTooLarge));
    uint32_t done;
    if (!read_all(file.get(), b->data, static_cast<uint32_t>(size.QuadPart), &done))
        return static_cast<void>(raise(st, Err::BinaryReadError));
    b->eod = done;
    result->v.integer = static_cast<int32_t>(done);
}

// BinaryWrite(handle, filename): creates or truncates the file and writes
// the bytes up to EOD.
BUILTIN(bin_write) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    FileHandle file(open_named(st, args[2], GENERIC_WRITE, 0, CREATE_ALWAYS));
    if (!file.ok()) return static_cast<void>(raise(st, Err::FileOpenFailed));
    if (!write_all(file.get(), b->data, b->eod)) return static_cast<void>(raise(st, Err::BinaryWriteError));
    result->v.integer = static_cast<int32_t>(b->eod);
}

// A file offset written as decimal text, which may pass 32 bits; -1 for a
// negative or unreadable one.
int64_t file_offset(const EngineState* st, const Value& arg) {
    const char* p = value_text(st, arg.v);
    if (!p) return -1;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '+') ++p;
    if (*p < '0' || *p > '9') return -1;
    int64_t n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (n > (INT64_MAX - 9) / 10) return -1;
        n = n * 10 + (*p - '0');
    }
    return n;
}

// The checks that BinaryReadEx and BinaryWriteEx make on the buffer side
// before the file is opened.
bool check_ex_head(EngineState* st, const BinaryBufferEntry* b, int32_t offset, int32_t count) {
    if (!check_offset(st, offset)) return false;
    if (static_cast<uint32_t>(offset) >= b->size) return raise(st, Err::BinaryOffsetBeyondBuffer);
    return count >= -1 || raise(st, Err::BinaryBadCount);
}

bool seek(EngineState* st, HANDLE file, int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return (offset >= 0 && SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) || raise(st, Err::BinarySeekError);
}

// BinaryReadEx(handle, buffer offset, filename, file offset, count): count
// -1 (or one past the end of file) reads to the end of the file.
BUILTIN(bin_read_ex) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t offset = args[2].v.integer, wanted_count = args[5].v.integer;
    if (!check_ex_head(st, b, offset, wanted_count)) return;
    FileHandle file(open_for_reading(st, args[3]));
    if (!file.ok()) return static_cast<void>(raise(st, Err::FileOpenFailed));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return static_cast<void>(raise(st, Err::BinaryReadError));
    const int64_t at = file_offset(st, args[4]);
    const int64_t rest = size.QuadPart - at;
    const int64_t wanted = (wanted_count == -1 || wanted_count > rest) ? rest : wanted_count;
    if (wanted > kLargestRead) return static_cast<void>(raise(st, Err::BinaryReadExTooLarge));
    if (wanted > 0 && offset + wanted > b->size) return static_cast<void>(raise(st, Err::BinaryCountBeyondBuffer));
    if (at > size.QuadPart) return static_cast<void>(raise(st, Err::BinaryOffsetBeyondFile));
    if (!seek(st, file.get(), at)) return;
    uint32_t done = 0;
    if (wanted > 0 && !read_all(file.get(), b->data + offset, static_cast<uint32_t>(wanted), &done))
        return static_cast<void>(raise(st, Err::BinaryReadError));
    extend_eod(b, static_cast<int64_t>(offset) + done);
    result->v.integer = static_cast<int32_t>(done);
}

// BinaryWriteEx(handle, buffer offset, filename, file offset, count): count
// -1 writes up to EOD; file offset -1 appends. The file is created when
// missing and otherwise kept.
BUILTIN(bin_write_ex) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t offset = args[2].v.integer;
    int32_t bytes = args[5].v.integer;
    if (!check_ex_head(st, b, offset, bytes)) return;
    if (static_cast<uint32_t>(offset) > b->eod) return static_cast<void>(raise(st, Err::BinaryOffsetBeyondEod));
    if (bytes == -1) bytes = static_cast<int32_t>(b->eod) - offset;
    if (static_cast<int64_t>(offset) + bytes > b->eod) return static_cast<void>(raise(st, Err::BinaryCountBeyondEod));
    const char* at_text = value_text(st, args[4].v);
    const bool append = at_text && strcmp(at_text, "-1") == 0;
    FileHandle file(open_named(st, args[3], GENERIC_WRITE, 0, OPEN_ALWAYS));
    if (!file.ok()) return static_cast<void>(raise(st, Err::FileOpenFailed));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return static_cast<void>(raise(st, Err::BinaryWriteError));
    const int64_t at = append ? size.QuadPart : file_offset(st, args[4]);
    if (at > size.QuadPart) return static_cast<void>(raise(st, Err::BinaryOffsetBeyondFile));
    if (!seek(st, file.get(), at)) return;
    if (!write_all(file.get(), b->data + offset, static_cast<uint32_t>(bytes)))
        return static_cast<void>(raise(st, Err::BinaryWriteError));
    result->v.integer = bytes;
}

// ------------------------------------------------------------------ clipboard

// The clipboard is open for the length of one call.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    ~OpenClipboardScope() {
        if (open_) CloseClipboard();
    }
    bool ok() const { return open_; }

private:
    bool open_;
};

// Bytes of a text terminator for the text formats, 0 for the others: text
// travels without its terminator and gets one on the way back.
size_t terminator_bytes(UINT format) {
    if (format == CF_UNICODETEXT) return 2;
    return format == CF_TEXT || format == CF_OEMTEXT ? 1 : 0;
}

// Length of clipboard data: text stops at its terminator.
size_t data_length(const uint8_t* p, size_t bytes, UINT format) {
    const size_t unit = terminator_bytes(format);
    if (!unit) return bytes;
    for (size_t i = 0; i + unit <= bytes; i += unit)
        if (p[i] == 0 && (unit == 1 || p[i + 1] == 0)) return i;
    return bytes - bytes % unit;
}

// BinaryClipGet(handle, format): the clipboard's data in that format into
// the buffer from offset 0; EOD becomes its length, which is returned.
BUILTIN(bin_clip_get) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const UINT format = static_cast<UINT>(args[2].v.integer);
    OpenClipboardScope clipboard(st->host_window);
    if (!clipboard.ok()) return static_cast<void>(raise(st, Err::BinaryClipOpenFailed));
    if (!IsClipboardFormatAvailable(format)) return static_cast<void>(raise(st, Err::BinaryClipFormatMissing));
    HANDLE data = GetClipboardData(format);
    if (!data) return static_cast<void>(raise(st, Err::BinaryClipRetrieveError));
    const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(data));
    if (!p) return static_cast<void>(raise(st, Err::BinaryClipAccessError));
    const size_t length = data_length(p, GlobalSize(data), format);
    if (length > b->size) {
        GlobalUnlock(data);
        return static_cast<void>(raise(st, Err::BinaryClipNoSpace));
    }
    memcpy(b->data, p, length);
    GlobalUnlock(data);
    b->eod = static_cast<uint32_t>(length);
    result->v.integer = static_cast<int32_t>(length);
}

// BinaryClipPut(handle, format): the bytes up to EOD become the clipboard's
// only content, in that format; the result is their count.
BUILTIN(bin_clip_put) {
    const BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const UINT format = static_cast<UINT>(args[2].v.integer);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, b->eod + terminator_bytes(format) + 1);
    uint8_t* p = copy ? static_cast<uint8_t*>(GlobalLock(copy)) : nullptr;
    if (!p) {
        if (copy) GlobalFree(copy);
        return static_cast<void>(raise(st, Err::BinaryClipAllocFailed));
    }
    memcpy(p, b->data, b->eod);
    GlobalUnlock(copy);
    OpenClipboardScope clipboard(st->host_window);
    if (!clipboard.ok()) {
        GlobalFree(copy);
        return static_cast<void>(raise(st, Err::BinaryClipOpenFailed));
    }
    EmptyClipboard();
    if (!SetClipboardData(format, copy)) {
        GlobalFree(copy);
        return static_cast<void>(raise(st, Err::BinaryClipStoreError));
    }
    result->v.integer = static_cast<int32_t>(b->eod);
}

}  // namespace

constexpr BuiltinRow kBinaryIoBuiltins[] = {
    BUILTIN_ROW("binaryclipget", bin_clip_get),
    BUILTIN_ROW("binaryclipput", bin_clip_put),
    BUILTIN_ROW("binaryread", bin_read),
    BUILTIN_ROW("binaryreadex", bin_read_ex),
    BUILTIN_ROW("binarywrite", bin_write),
    BUILTIN_ROW("binarywriteex", bin_write_ex),
};
constexpr size_t kBinaryIoBuiltinCount = sizeof(kBinaryIoBuiltins) / sizeof(kBinaryIoBuiltins[0]);
