// What the file system knows of files: existence, sizes, attributes, the
// three file times, version resources, content comparison and the
// FileInfoToArray / DirInfoToArray tables.
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/arrays.h"
#include "lib/builtins.h"
#include "lib/file_attr.h"
#include "lib/file_locate.h"
#include "lib/file_walk.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"
#include "lib/time_text.h"
#include "lib/ymdhms.h"

namespace {

// ------------------------------------------------------------------ shared pieces

bool file_data(const wchar_t* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    return GetFileAttributesExW(path, GetFileExInfoStandard, data) &&
           !(data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t size_of(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

SYSTEMTIME local_time(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &t);
    return t;
}

void ymdhms_text(const EngineState* st, const SYSTEMTIME& t, char* out) {
    format_ymdhms(Ymdhms{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}, st->two_digit_years == 0, out);
}

// The time of field 1 (created), 2 (last written) or 3 (last read).
const FILETIME* time_field(const WIN32_FILE_ATTRIBUTE_DATA& data, int32_t field) {
    switch (field) {
        case 1: return &data.ftCreationTime;
        case 2: return &data.ftLastWriteTime;
        case 3: return &data.ftLastAccessTime;
        default: return nullptr;
    }
}

// Walks a list whose every file gets the same change; `error` replaces a
// failure of the change itself.
template <typename Job>
bool for_each_file(EngineState* st, const Value& arg, Job* job) {
    return walk_list_argument(
        st, arg, WalkRules{},
        [](EngineState* s, const wchar_t* path, void* context) {
            auto* j = static_cast<Job*>(context);
            return j->apply(path) || raise(s, j->error);
        },
        job);
}

// ------------------------------------------------------------------ existence and size

// FileExist(filename)
BUILTIN(file_exist) {
    PathText name, found;
    if (!arg_path(st, args[1], &name)) return;
    set_int_result(result, 0);
    if (wcschr(name.s, L'/') || !locate_file(name.s, &found)) return;
    HANDLE file = CreateFileW(found.s, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        set_int_result(result, 1);
    } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
        set_int_result(result, 2);
    }
}

struct SizeSum {
    uint64_t total;
    Err error;
    bool apply(const wchar_t* path) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!file_data(path, &data)) return false;
        total += size_of(data);
        return true;
    }
};

// FileSize(file-list, format) and FileSizeEx: the total size; beyond the
// integers (or with format 1) a float.
BUILTIN(file_size) {
    SizeSum sum{0, Err::FileSizeNotFound};
    if (!for_each_file(st, args[1], &sum)) return;
    if (sum.total > 0x7FFFFFFF || optional_arg(args, count, 2, 0) == 1) {
        result->v.real = static_cast<double>(sum.total);
        result->v.flags = VF_FLOAT;
    } else {
        set_int_result(result, static_cast<int32_t>(sum.total));
    }
}

// ------------------------------------------------------------------ attributes

// FileAttrGet(filename)
BUILTIN(file_attr_get) {
    PathText name;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!arg_path(st, args[1], &name)) return;
    if (!file_data(name.s, &data)) return (void)raise(st, Err::FileAttrGetNotFound);
    char text[5];
    attribute_text(data.dwFileAttributes, text);
    (void)set_value_text(st, &result->v, text, 4);
}

// FileAttrGetEx(filename): the attribute bits.
BUILTIN(file_attr_get_ex) {
    PathText name;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!arg_path(st, args[1], &name)) return;
    if (!file_data(name.s, &data)) return (void)raise(st, Err::FileAttrGetNotFound);
    set_int_result(result, static_cast<int32_t>(data.dwFileAttributes));
}

struct AttributeLetters {
    const char* letters;
    Err error;
    bool apply(const wchar_t* path) { return set_attribute_letters(path, letters); }
};

// FileAttrSet(file-list, attributes)
BUILTIN(file_attr_set) {
    AttributeLetters job{value_text(st, args[2].v), Err::FileAttrSetFailed};
    if (for_each_file(st, args[1], &job)) set_int_result(result, 1);
}

// The bits of mode 0 (replace), 1 (add) or 2 (remove) over `current`;
// false for another mode.
bool attribute_bits(DWORD current, DWORD bits, int32_t mode, DWORD* out) {
    switch (mode) {
        case 0: *out = bits; return true;
        case 1: *out = current | bits; return true;
        case 2: *out = current & ~bits; return true;
        default: return false;
    }
}

struct AttributeBits {
    DWORD bits;
    int32_t mode;
    Err error;
    bool apply(const wchar_t* path) {
        DWORD wanted;
        const DWORD current = GetFileAttributesW(path);
        if (current == INVALID_FILE_ATTRIBUTES || !attribute_bits(current, bits, mode, &wanted)) return false;
        wanted &= ~FILE_ATTRIBUTE_DIRECTORY;
        return SetFileAttributesW(path, wanted ? wanted : FILE_ATTRIBUTE_NORMAL) != 0;
    }
};

// FileAttrSetEx(file-list, attributes, mode)
BUILTIN(file_attr_set_ex) {
    AttributeBits job{static_cast<DWORD>(args[2].v.integer), args[3].v.integer, Err::FileAttrSetFailed};
    if (for_each_file(st, args[1], &job)) set_int_result(result, 1);
}

// ------------------------------------------------------------------ times

bool last_write(EngineState* st, const Value& arg, WIN32_FILE_ATTRIBUTE_DATA* data) {
    PathText name;
    if (!arg_path(st, arg, &name)) return false;
    return file_data(name.s, data) || raise(st, Err::FileTimeGetNotFound);
}

// FileTimeGet(filename): the date, two spaces and the time.
BUILTIN(file_time_get) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!last_write(st, args[1], &data)) return;
    char text[64];
    file_time_line(local_time(data.ftLastWriteTime), text, sizeof text);
    (void)set_value_text(st, &result->v, text, strlen(text));
}

// FileYmdHms(filename)
BUILTIN(file_ymdhms) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!last_write(st, args[1], &data)) return;
    char text[YMDHMS_TEXT_BYTES];
    ymdhms_text(st, local_time(data.ftLastWriteTime), text);
    (void)set_value_text(st, &result->v, text, strlen(text));
}

// FileTimeCode(filename): packed date in the high half, packed time in the low.
BUILTIN(file_time_code) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!last_write(st, args[1], &data)) return;
    FILETIME local;
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    set_int_result(result, static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time));
}

// FileTimeGetEx(filename, field)
BUILTIN(file_time_get_ex) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const int32_t field = args[2].v.integer;
    if (field < 1 || field > 3) return (void)raise(st, Err::FileTimeBadField);
    if (!last_write(st, args[1], &data)) return;
    char text[YMDHMS_TEXT_BYTES];
    ymdhms_text(st, local_time(*time_field(data, field)), text);
    (void)set_value_text(st, &result->v, text, strlen(text));
}

// A YmdHms text as a file time (local time in the text).
bool file_time_of(EngineState* st, const Value& arg, FILETIME* out) {
    Ymdhms t;
    if (!parse_ymdhms(value_text(st, arg.v), &t, YmdhmsCheck::Full, true)) return raise(st, Err::FileTimeSetBadDate);
    SYSTEMTIME s = ymdhms_system_time(t);
    FILETIME local;
    if (!SystemTimeToFileTime(&s, &local) || !LocalFileTimeToFileTime(&local, out))
        return raise(st, Err::FileTimeSetBadDate);
    return true;
}

struct TimeSetting {
    FILETIME when;
    int32_t field;  // 0 all three
    Err error;
    bool apply(const wchar_t* path) {
        HANDLE file = CreateFileW(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const FILETIME* created = field == 1 || field == 0 ? &when : nullptr;
        const FILETIME* accessed = field == 3 || field == 0 ? &when : nullptr;
        const FILETIME* written = field == 2 || field == 0 ? &when : nullptr;
        const bool ok = SetFileTime(file, created, accessed, written) != 0;
        CloseHandle(file);
        return ok;
    }
};

// FileTimeSet(file-list, ymdhms): the last-write time.
BUILTIN(file_time_set) {
    TimeSetting job{{}, 2, Err::FileTimeTouchFailed};
    if (file_time_of(st, args[2], &job.when) && for_each_file(st, args[1], &job)) set_int_result(result, 1);
}

// FileTimeSetEx(file-list, ymdhms, field)
BUILTIN(file_time_set_ex) {
    TimeSetting job{{}, args[3].v.integer, Err::FileTimeTouchFailed};
    if (job.field < 1 || job.field > 3) return (void)raise(st, Err::FileTimeBadField);
    if (file_time_of(st, args[2], &job.when) && for_each_file(st, args[1], &job)) set_int_result(result, 1);
}

// FileTimeTouch(file-list): the last-write time becomes now.
BUILTIN(file_time_touch) {
    TimeSetting job{{}, 2, Err::FileTimeTouchFailed};
    GetSystemTimeAsFileTime(&job.when);
    if (for_each_file(st, args[1], &job)) set_int_result(result, 1);
}

// ------------------------------------------------------------------ contents and versions

bool same_contents(HANDLE a, HANDLE b) {
    static uint8_t block_a[65536], block_b[65536];
    for (;;) {
        DWORD got_a = 0, got_b = 0;
        if (!ReadFile(a, block_a, sizeof block_a, &got_a, nullptr) ||
            !ReadFile(b, block_b, sizeof block_b, &got_b, nullptr) || got_a != got_b)
            return false;
        if (got_a == 0) return true;
        if (memcmp(block_a, block_b, got_a) != 0) return false;
    }
}

// FileCompare(file1, file2): 0 when the contents are the same; otherwise
// 1 when the first file is newer (or, written at the same moment, larger),
// -1 when it is older (or smaller).
BUILTIN(file_compare) {
    PathText first, second;
    if (!arg_path(st, args[1], &first) || !arg_path(st, args[2], &second)) return;
    HANDLE a = CreateFileW(first.s, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (a == INVALID_HANDLE_VALUE) return (void)raise(st, Err::FileCompareFirstOpen);
    HANDLE b = CreateFileW(second.s, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (b == INVALID_HANDLE_VALUE) {
        CloseHandle(a);
        return (void)raise(st, Err::FileCompareSecondOpen);
    }
    FILETIME time_a, time_b;
    LARGE_INTEGER size_a, size_b;
    GetFileTime(a, nullptr, nullptr, &time_a);
    GetFileTime(b, nullptr, nullptr, &time_b);
    GetFileSizeEx(a, &size_a);
    GetFileSizeEx(b, &size_b);
    int32_t answer = 0;
    if (size_a.QuadPart != size_b.QuadPart || !same_contents(a, b)) {
        const LONG order = CompareFileTime(&time_a, &time_b);
        answer = order != 0 ? (order > 0 ? 1 : -1) : (size_a.QuadPart >= size_b.QuadPart ? 1 : -1);
    }
    CloseHandle(a);
    CloseHandle(b);
    set_int_result(result, answer);
}

// FileVerInfo(filename, language-key, resource-string): a string of the
// version resource; an empty language takes the file's first translation,
// and the resource string "#FileVersion" / "#ProductVersion" gives the
// fixed numbers as "a.b.c.d".
BUILTIN(file_ver_info) {
    PathText name, language, item;
    if (!arg_path(st, args[1], &name) || !arg_path(st, args[2], &language) || !arg_path(st, args[3], &item)) return;
    if (!file_exists(name.s)) return (void)raise(st, Err::FileVerInfoNotFound);
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.s, &unused);
    void* block = size ? HeapAlloc(GetProcessHeap(), 0, size) : nullptr;
    if (!block || !GetFileVersionInfoW(name.s, 0, size, block)) {
        if (block) HeapFree(GetProcessHeap(), 0, block);
        return (void)raise(st, Err::FileVerInfoNoVersion);
    }
    wchar_t query[PATH_UNITS * 2 + 64];
    wchar_t number[64];
    const wchar_t* answer = nullptr;
    UINT length = 0;
    if (item.s[0] == L'#') {
        VS_FIXEDFILEINFO* fixed = nullptr;
        if (VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
            const bool product = _wcsicmp(item.s, L"#ProductVersion") == 0;
            const DWORD ms = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
            const DWORD ls = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
            _snwprintf(number, 64, L"%u.%u.%u.%u", HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls));
            number[63] = 0;
            answer = number;
        }
    } else {
        if (!language.s[0]) {
            WORD* translation = nullptr;
            if (VerQueryValueW(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
                length >= 4)
                _snwprintf(language.s, PATH_UNITS, L"%04x%04x", translation[0], translation[1]);
        }
        _snwprintf(query, sizeof query / sizeof query[0], L"\\StringFileInfo\\%ls\\%ls", language.s, item.s);
        query[sizeof query / sizeof query[0] - 1] = 0;
        if (!VerQueryValueW(block, query, reinterpret_cast<void**>(const_cast<wchar_t**>(&answer)), &length))
            answer = nullptr;
    }
    if (answer) (void)set_path_result(st, result, answer, wide);
    else raise(st, Err::FileVerInfoNoVersion);
    HeapFree(GetProcessHeap(), 0, block);
}

// ------------------------------------------------------------------ info tables

struct InfoRow {
    wchar_t name[MAX_PATH + PATH_UNITS];
    uint64_t size;
    FILETIME written, created, accessed;
    DWORD attributes;
};

struct InfoJob {
    InfoRow* rows = nullptr;
    size_t count = 0, capacity = 0;
    bool full_names;
    ~InfoJob() {
        if (rows) HeapFree(GetProcessHeap(), 0, rows);
    }
};

bool add_info_row(EngineState* st, const wchar_t* directory, const WIN32_FIND_DATAW& entry, void* context) {
    auto* job = static_cast<InfoJob*>(context);
    if (job->count == job->capacity) {
        const size_t wanted = job->capacity ? job->capacity * 2 : 64;
        void* grown = job->rows ? HeapReAlloc(GetProcessHeap(), 0, job->rows, wanted * sizeof(InfoRow))
                                : HeapAlloc(GetProcessHeap(), 0, wanted * sizeof(InfoRow));
        if (!grown) return raise(st, Err::AllocFailed);
        job->rows = static_cast<InfoRow*>(grown);
        job->capacity = wanted;
    }
    InfoRow& row = job->rows[job->count++];
    row.name[0] = 0;
    if (job->full_names) {
        PathText full;
        if (!full_path(directory[0] ? directory : L".\\", &full)) full.s[0] = 0;
        lstrcpynW(row.name, full.s, PATH_UNITS);
    }
    const size_t used = wcslen(row.name);
    lstrcpynW(row.name + used, entry.cFileName, MAX_PATH);
    row.size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    row.written = entry.ftLastWriteTime;
    row.created = entry.ftCreationTime;
    row.accessed = entry.ftLastAccessTime;
    row.attributes = entry.dwFileAttributes;
    return true;
}

bool set_cell_number(EngineState* st, ArrayCell* cell, double n) {
    char text[32];
    snprintf(text, sizeof text, "%.0f", n);
    return set_cell_text(st, cell, text, strlen(text));
}

bool set_cell_wide(EngineState* st, ArrayCell* cell, const wchar_t* text) {
    char ansi[PATH_UNITS * 2];
    WideCharToMultiByte(st->code_page, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
    return set_cell_text(st, cell, ansi, strlen(ansi));
}

constexpr int kInfoColumns = 6;

// One row per entry: name, size, last written, created, last read (YmdHms)
// and the attribute letters; row 0 holds the count and the total size.
bool fill_info_array(EngineState* st, const InfoJob& job, Value* result) {
    if (CreateMyArray(st, result, static_cast<int32_t>(job.count + 1), kInfoColumns, 0, 0, 0, 0, 2) < 0) return false;
    ArrayCell* cells = array_of(result->v)->elements;
    uint64_t total = 0;
    for (size_t i = 0; i < job.count; ++i) total += job.rows[i].size;
    bool ok = set_cell_number(st, &cells[0], static_cast<double>(job.count)) &&
              set_cell_number(st, &cells[1], static_cast<double>(total));
    for (int c = 2; ok && c < kInfoColumns; ++c) ok = set_cell_text(st, &cells[c], "", 0);
    for (size_t i = 0; ok && i < job.count; ++i) {
        const InfoRow& row = job.rows[i];
        ArrayCell* line = &cells[(i + 1) * kInfoColumns];
        char written[YMDHMS_TEXT_BYTES], created[YMDHMS_TEXT_BYTES], accessed[YMDHMS_TEXT_BYTES], letters[5];
        ymdhms_text(st, local_time(row.written), written);
        ymdhms_text(st, local_time(row.created), created);
        ymdhms_text(st, local_time(row.accessed), accessed);
        attribute_text(row.attributes, letters);
        ok = set_cell_wide(st, &line[0], row.name) && set_cell_number(st, &line[1], static_cast<double>(row.size)) &&
             set_cell_text(st, &line[2], written, strlen(written)) &&
             set_cell_text(st, &line[3], created, strlen(created)) &&
             set_cell_text(st, &line[4], accessed, strlen(accessed)) && set_cell_text(st, &line[5], letters, 4);
    }
    return ok;
}

void info_to_array(EngineState* st, int count, Value* result, Value* args, FindKind kind) {
    InfoJob job;
    job.full_names = optional_arg(args, count, 2, 0) & 1;
    if (find_list_argument(st, args[1], kind, !st->list_hidden, add_info_row, &job))
        (void)fill_info_array(st, job, result);
}

// FileInfoToArray(file-list, flags): flags 1 full names.
BUILTIN(file_info_to_array) { info_to_array(st, count, result, args, FindKind::Files); }
// DirInfoToArray(dir-list, flags)
BUILTIN(dir_info_to_array) { info_to_array(st, count, result, args, FindKind::Directories); }

}  // namespace

extern const BuiltinRow kFileInfoBuiltins[] = {
    BUILTIN_ROW("dirinfotoarray", dir_info_to_array),
    BUILTIN_ROW("fileattrget", file_attr_get),
    BUILTIN_ROW("fileattrgetex", file_attr_get_ex),
    BUILTIN_ROW("fileattrset", file_attr_set),
    BUILTIN_ROW("fileattrsetex", file_attr_set_ex),
    BUILTIN_ROW("filecompare", file_compare),
    BUILTIN_ROW("fileexist", file_exist),
    BUILTIN_ROW("fileinfotoarray", file_info_to_array),
    BUILTIN_ROW("filesize", file_size),
    BUILTIN_ROW("filesizeex", file_size),
    BUILTIN_ROW("filetimecode", file_time_code),
    BUILTIN_ROW("filetimeget", file_time_get),
    BUILTIN_ROW("filetimegetex", file_time_get_ex),
    BUILTIN_ROW("filetimeset", file_time_set),
    BUILTIN_ROW("filetimesetex", file_time_set_ex),
    BUILTIN_ROW("filetimetouch", file_time_touch),
    BUILTIN_ROW("fileverinfo", file_ver_info),
    BUILTIN_ROW("fileymdhms", file_ymdhms),
};
extern const size_t kFileInfoBuiltinCount = sizeof(kFileInfoBuiltins) / sizeof(kFileInfoBuiltins[0]);
