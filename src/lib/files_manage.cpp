// File management over wildcard file lists: FileCopy, FileMove and their
// Attr forms, FileAppend, FileRename, FileDelete, the itemize functions
// and the name-evaluation boxes. A failing copy, move or append leaves the
// source and the target as they were.
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "lib/builtins.h"
#include "lib/file_attr.h"
#include "lib/file_prompt.h"
#include "lib/file_walk.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"

namespace {

constexpr DWORD kAppendBlockBytes = 28672;

// ------------------------------------------------------------------ shared pieces

uint64_t file_size_of(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Whether the volume that will hold `target` has room for `needed` bytes
// (true when the free space cannot be learnt).
bool room_for(const wchar_t* target, uint64_t needed) {
    wchar_t root[PATH_UNITS];
    if (!GetVolumePathNameW(target, root, PATH_UNITS)) return true;
    ULARGE_INTEGER free_bytes;
    if (!GetDiskFreeSpaceExW(root, &free_bytes, nullptr, nullptr)) return true;
    return free_bytes.QuadPart >= needed;
}

// COM1-9, LPT1-9 and USB followed by three digits name ports.
bool is_port_name(const wchar_t* name) {
    auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    if ((_wcsnicmp(name, L"COM", 3) == 0 || _wcsnicmp(name, L"LPT", 3) == 0) && name[3] >= L'1' &&
        name[3] <= L'9' && name[4] == 0)
        return true;
    return _wcsnicmp(name, L"USB", 3) == 0 && digit(name[3]) && digit(name[4]) && digit(name[5]) && name[6] == 0;
}

bool copy_to_port(EngineState* st, const wchar_t* source, const wchar_t* port) {
    HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return raise(st, Err::FileCopyPortFileError);
    HANDLE out = CreateFileW(name_part(port), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return raise(st, Err::FileCopyPortPortError);
    }
    bool ok = true;
    uint8_t byte;
    DWORD got = 0, put = 0;
    while (ok) {
        if (!ReadFile(in, &byte, 1, &got, nullptr)) ok = raise(st, Err::FileCopyPortReadError);
        else if (got == 0) break;
        else if (!WriteFile(out, &byte, 1, &put, nullptr) || put != 1) ok = raise(st, Err::FileCopyPortWriteError);
    }
    CloseHandle(out);
    CloseHandle(in);
    return ok;
}

// The platform copy into a fresh file beside the target, then renamed over
// it: a copy that fails half-way leaves the old target untouched.
bool copy_replacing(const wchar_t* source, const wchar_t* target) {
    PathText directory;
    directory_part(target, &directory);
    if (!directory.s[0]) lstrcpyW(directory.s, L".");
    wchar_t scratch[PATH_UNITS];
    if (!GetTempFileNameW(directory.s, L"qcp", 0, scratch)) return false;
    if (CopyFileW(source, scratch, FALSE) &&
        MoveFileExW(scratch, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD code = GetLastError();
    SetFileAttributesW(scratch, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(scratch);
    SetLastError(code);
    return false;
}

// ------------------------------------------------------------------ copy and move

struct TransferJob {
    bool move;
    OverwriteMode mode;
    const wchar_t* destination;
    const char* attributes;  // the Attr forms; null otherwise
};

bool same_file_name(const wchar_t* a, const wchar_t* b) {
    PathText fa, fb;
    return full_path(a, &fa) && full_path(b, &fb) && lstrcmpiW(fa.s, fb.s) == 0;
}

bool transfer_one(EngineState* st, const wchar_t* source, void* context) {
    auto* job = static_cast<TransferJob*>(context);
    if (!file_exists(source)) return raise(st, job->move ? Err::FileMoveFromOpenFailed : Err::FileCopyFromOpenFailed);
    PathText target;
    if (!map_destination(source, job->destination, &target))
        return raise(st, job->move ? Err::FileMoveFailed : Err::FileCopyFailed);
    const OverwriteAnswer answer = confirm_overwrite(st, &job->mode, source, target.s);
    if (answer == OverwriteAnswer::Cancel) return false;
    if (answer == OverwriteAnswer::Skip) return true;
    const uint64_t size = file_size_of(source), existing = file_exists(target.s) ? file_size_of(target.s) : 0;
    if (size > existing && !room_for(target.s, size - existing))
        return raise(st, job->move ? Err::FileMoveNoSpace : Err::FileCopyNoSpace);
    if (same_file_name(source, target.s)) return true;
    // A read-only target is never replaced, whatever the platform's rename would allow.
    if (read_only_file(target.s)) {
        SetLastError(ERROR_ACCESS_DENIED);
        record_platform_error(st, job->move ? "MoveFile" : "CopyFile");
        return raise(st, job->move ? Err::FileMoveFailed : Err::FileCopyFailed);
    }
    if (!job->move && is_port_name(name_part(target.s))) {
        if (!copy_to_port(st, source, target.s)) return false;
    } else if (job->move) {
        if (!MoveFileExW(source, target.s, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
            record_platform_error(st, "MoveFile");
            return raise(st, Err::FileMoveFailed);
        }
    } else if (!copy_replacing(source, target.s)) {
        record_platform_error(st, "CopyFile");
        return raise(st, Err::FileCopyFailed);
    }
    // The attribute string of the Attr forms is a courtesy: its failure is no error.
    if (job->attributes) set_attribute_letters(target.s, job->attributes);
    return true;
}

void transfer(EngineState* st, Value* result, Value* args, bool move, const char* attributes) {
    const bool warn = args[3].v.integer != 0;
    if (warn && st->background_mode) return (void)raise(st, Err::FileWarningInBackground);
    PathText destination;
    if (!arg_path(st, args[2], &destination)) return;
    TransferJob job{move, warn ? OverwriteMode::Ask : OverwriteMode::OverwriteAll, destination.s, attributes};
    if (walk_list_argument(st, args[1], WalkRules{}, transfer_one, &job)) set_int_result(result, 1);
}

// FileCopy(source-list, destination, warning)
BUILTIN(file_copy) { transfer(st, result, args, false, nullptr); }
// FileMove(source-list, destination, warning)
BUILTIN(file_move) { transfer(st, result, args, true, nullptr); }
// FileCopyAttr(source-list, destination, warning, attributes)
BUILTIN(file_copy_attr) { transfer(st, result, args, false, value_text(st, args[4].v)); }
// FileMoveAttr(source-list, destination, warning, attributes)
BUILTIN(file_move_attr) { transfer(st, result, args, true, value_text(st, args[4].v)); }

// ------------------------------------------------------------------ append

// Copies the source's bytes to the target's end; on failure the target is
// cut back to its old length.
bool append_bytes(EngineState* st, HANDLE in, HANDLE out) {
    LARGE_INTEGER zero{}, old_end{};
    SetFilePointerEx(out, zero, &old_end, FILE_END);
    auto* block = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, kAppendBlockBytes));
    uint8_t fallback[1281];
    uint8_t* work = block ? block : fallback;
    const DWORD size = block ? kAppendBlockBytes : sizeof fallback;
    bool ok = true;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in, work, size, &got, nullptr)) ok = false;
        if (!ok || got == 0) break;
        if (!WriteFile(out, work, got, &put, nullptr) || put != got) ok = false;
    }
    if (block) HeapFree(GetProcessHeap(), 0, block);
    if (!ok) {
        SetFilePointerEx(out, old_end, nullptr, FILE_BEGIN);
        SetEndOfFile(out);
        return raise(st, Err::FileAppendIoError);
    }
    return true;
}

bool append_one(EngineState* st, const wchar_t* source, void* context) {
    const auto* destination = static_cast<const wchar_t*>(context);
    if (!file_exists(source)) return raise(st, Err::FileAppendFromOpenFailed);
    PathText target;
    if (!map_destination(source, destination, &target)) return raise(st, Err::FileAppendToOpenFailed);
    if (!room_for(target.s, file_size_of(source))) return raise(st, Err::FileAppendNoSpace);
    HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return raise(st, Err::FileAppendFromOpenFailed);
    HANDLE out = CreateFileW(target.s, GENERIC_WRITE, static_cast<DWORD>(st->share_write), nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE && read_only_file(target.s)) {
        CloseHandle(out);
        out = INVALID_HANDLE_VALUE;
    }
    bool ok = out != INVALID_HANDLE_VALUE || raise(st, Err::FileAppendToOpenFailed);
    if (ok) {
        ok = append_bytes(st, in, out);
        CloseHandle(out);
    }
    CloseHandle(in);
    return ok;
}

// Walks argument 1's list with argument 2 (a destination) as the context.
void walk_to_destination(EngineState* st, Value* result, Value* args, FileOperation operation) {
    PathText destination;
    if (arg_path(st, args[2], &destination) &&
        walk_list_argument(st, args[1], WalkRules{}, operation, destination.s))
        set_int_result(result, 1);
}

// FileAppend(source-list, destination)
BUILTIN(file_append) { walk_to_destination(st, result, args, append_one); }

// ------------------------------------------------------------------ rename and delete

bool rename_one(EngineState* st, const wchar_t* source, void* context) {
    PathText target;
    if (!map_destination(source, static_cast<const wchar_t*>(context), &target) || !MoveFileW(source, target.s))
        return raise(st, Err::FileRenameFailed);
    return true;
}

// FileRename(source-list, new-name)
BUILTIN(file_rename) { walk_to_destination(st, result, args, rename_one); }

bool delete_one(EngineState* st, const wchar_t* path, void*) {
    if (DeleteFileW(path)) return true;
    return raise(st, GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? Err::FileDeleteFailed
                                                                          : Err::FileDeleteNotFound);
}

// FileDelete(file-list)
BUILTIN(file_delete) {
    WalkRules rules;
    rules.no_match_ok = true;
    if (walk_list_argument(st, args[1], rules, delete_one, nullptr)) set_int_result(result, 1);
}

// ------------------------------------------------------------------ itemize

struct ItemizeJob {
    TextBuffer<wchar_t> list;
    wchar_t delimiter;
    bool with_path;
};

// The directory FileItemPath writes before a name: the pattern's own,
// or the current directory (of its drive) when it names none.
void item_prefix(const wchar_t* directory, PathText* prefix) {
    const size_t n = wcslen(directory);
    lstrcpynW(prefix->s, directory, PATH_UNITS);
    if (n == 0 || (n == 2 && directory[1] == L':')) {
        if (!full_path(n ? directory : L".", prefix)) prefix->s[0] = 0;
        if (prefix->s[0] && prefix->s[wcslen(prefix->s) - 1] != L'\\') path_append(prefix, L"\\");
    }
}

bool add_item(EngineState* st, const wchar_t* directory, const WIN32_FIND_DATAW& entry, void* context) {
    auto* job = static_cast<ItemizeJob*>(context);
    PathText prefix;
    prefix.s[0] = 0;
    if (job->with_path) item_prefix(directory, &prefix);
    if (job->list.append(st, prefix.s, wcslen(prefix.s)) &&
        job->list.append(st, entry.cFileName, wcslen(entry.cFileName)) && job->list.append(st, &job->delimiter, 1))
        return true;
    st->error = 0;  // the list's own number replaces the work buffer's
    return raise(st, Err::ListAllocFailed);
}

void itemize(EngineState* st, Value* result, Value* args, FindKind kind, bool with_path) {
    ItemizeJob job;
    job.delimiter = static_cast<wchar_t>(static_cast<uint8_t>(default_item_delimiter(st)));
    job.with_path = with_path;
    if (!find_list_argument(st, args[1], kind, !st->list_hidden, add_item, &job)) return;
    Span<wchar_t> items = job.list.span();
    if (items.n) --items.n;  // the last delimiter
    (void)set_result<wchar_t>(st, result, items);
}

// FileItemize(file-list)
BUILTIN(file_itemize) { itemize(st, result, args, FindKind::Files, false); }
// DirItemize(dir-list)
BUILTIN(dir_itemize) { itemize(st, result, args, FindKind::Directories, false); }
// FileItemPath(file-list)
BUILTIN(file_item_path) { itemize(st, result, args, FindKind::Files, true); }

// ------------------------------------------------------------------ name evaluation

struct EvalJob {
    const wchar_t* caption;
    const wchar_t* mask;  // FileNameEval2 only
};

bool show_name(EngineState* st, const wchar_t* path, void* context) {
    const auto* job = static_cast<const EvalJob*>(context);
    wchar_t text[PATH_UNITS * 2 + 8];
    PathText target;
    if (job->mask && !map_destination(path, job->mask, &target)) lstrcpyW(target.s, L"?");
    _snwprintf(text, sizeof text / sizeof text[0], job->mask ? L"%ls\n%ls" : L"%ls", path, target.s);
    text[sizeof text / sizeof text[0] - 1] = 0;
    char ansi[LINE_BUFFER_BYTES], caption[32];
    WideCharToMultiByte(st->code_page, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
    WideCharToMultiByte(st->code_page, 0, job->caption, -1, caption, sizeof caption, nullptr, nullptr);
    MessageOrLog(st, st->host_window, ansi, caption, MB_OK);
    return true;
}

void name_eval(EngineState* st, Value* result, Value* args, const wchar_t* caption, const wchar_t* mask) {
    EvalJob job{caption, mask};
    if (walk_list_argument(st, args[1], WalkRules{}, show_name, &job)) set_int_result(result, 1);
}

// FileNameEval1(file-list)
BUILTIN(file_name_eval1) { name_eval(st, result, args, L"FileNameEval1", nullptr); }
// FileNameEval2(source-list, destination)
BUILTIN(file_name_eval2) {
    PathText mask;
    if (arg_path(st, args[2], &mask)) name_eval(st, result, args, L"FileNameEval2", mask.s);
}

}  // namespace

extern const BuiltinRow kFileManageBuiltins[] = {
    BUILTIN_ROW("diritemize", dir_itemize),
    BUILTIN_ROW("fileappend", file_append),
    BUILTIN_ROW("filecopy", file_copy),
    BUILTIN_ROW("filecopyattr", file_copy_attr),
    BUILTIN_ROW("filedelete", file_delete),
    BUILTIN_ROW("fileitemize", file_itemize),
    BUILTIN_ROW("fileitempath", file_item_path),
    BUILTIN_ROW("filemove", file_move),
    BUILTIN_ROW("filemoveattr", file_move_attr),
    BUILTIN_ROW("filenameeval1", file_name_eval1),
    BUILTIN_ROW("filenameeval2", file_name_eval2),
    BUILTIN_ROW("filerename", file_rename),
};
extern const size_t kFileManageBuiltinCount = sizeof(kFileManageBuiltins) / sizeof(kFileManageBuiltins[0]);
