// The file-list walker, the re-check of wildcard matches and the
// destination-name mapping shared by the file-management functions.
#include "lib/file_walk.h"

#include <string.h>
#include <wchar.h>
#include <shlwapi.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/wildcard.h"

namespace {

bool is_list_separator(const EngineState* st, wchar_t c) {
    return c == L'\t' || c == L'|' || c == static_cast<wchar_t>(static_cast<uint8_t>(default_item_delimiter(st)));
}

// A part of a name against a part of a pattern, completely.
bool part_matches(const Steps& steps, Span<wchar_t> text, Span<wchar_t> pattern) {
    if (text.n == 0) {
        for (size_t i = 0; i < pattern.n; ++i)
            if (pattern.p[i] != L'*') return false;
        return true;
    }
    return pattern.n && wild_match(steps, text, pattern) == text.n;
}

// Base name and extension of a name, split at its last dot.
void split_name(const wchar_t* name, Span<wchar_t>* base, Span<wchar_t>* extension, bool* has_dot) {
    const wchar_t* dot = extension_dot(name);
    const size_t n = wcslen(name);
    *has_dot = dot != nullptr;
    *base = Span<wchar_t>{name, dot ? static_cast<size_t>(dot - name) : n};
    *extension = dot ? Span<wchar_t>{dot + 1, wcslen(dot + 1)} : Span<wchar_t>{name + n, 0};
}

bool engine_recheck(const EngineState* st, const wchar_t* found, const wchar_t* pattern) {
    const Steps steps(st);
    Span<wchar_t> name_base, name_ext, pattern_base, pattern_ext;
    bool name_dot, pattern_dot;
    split_name(found, &name_base, &name_ext, &name_dot);
    split_name(pattern, &pattern_base, &pattern_ext, &pattern_dot);
    // A pattern without a dot is matched against the whole name.
    if (!pattern_dot) return part_matches(steps, Span<wchar_t>{found, wcslen(found)}, pattern_base);
    return part_matches(steps, name_base, pattern_base) && part_matches(steps, name_ext, pattern_ext);
}

typedef BOOL(WINAPI* PathMatchSpecFn)(LPCWSTR, LPCWSTR);

PathMatchSpecFn platform_matcher() {
    static PathMatchSpecFn matcher = reinterpret_cast<PathMatchSpecFn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("SHLWAPI.DLL"), "PathMatchSpecW")));
    return matcher;
}

struct WalkVisit {
    FileOperation operation;
    void* context;
    PathText path;
};

bool visit_found(EngineState* st, const wchar_t* directory, const WIN32_FIND_DATAW& entry, void* context) {
    auto* visit = static_cast<WalkVisit*>(context);
    lstrcpynW(visit->path.s, directory, PATH_UNITS);
    if (!path_append(&visit->path, entry.cFileName)) return raise(st, Err::UnrecognizableItem);
    return visit->operation(st, visit->path.s, visit->context);
}

// Appends one character to a name being built; false when full.
bool put(PathText* out, size_t* n, wchar_t c) {
    if (*n + 1 >= PATH_UNITS) return false;
    out->s[(*n)++] = c;
    out->s[*n] = 0;
    return true;
}

void map_part(Span<wchar_t> mask, Span<wchar_t> source, PathText* out, size_t* n) {
    size_t from = 0;
    for (size_t i = 0; i < mask.n; ++i) {
        const wchar_t m = mask.p[i];
        if (m == L'*') {
            while (from < source.n) put(out, n, source.p[from++]);
        } else if (m == L'?') {
            if (from < source.n) put(out, n, source.p[from++]);
        } else {
            put(out, n, m);
            if (from < source.n) ++from;
        }
    }
}

}  // namespace

bool next_spec(EngineState* st, const wchar_t** at, PathText* wanted, bool* got) {
    const wchar_t* p = *at;
    while (*p && (is_list_separator(st, *p) || *p == L' ')) ++p;
    const wchar_t* start = p;
    while (*p && !is_list_separator(st, *p)) ++p;
    const wchar_t* end = p;
    while (end > start && end[-1] == L' ') --end;
    *at = p;
    *got = end > start;
    if (!*got) return true;
    const size_t n = static_cast<size_t>(end - start);
    if (n > SPEC_MAX_CHARS) return raise(st, Err::UnrecognizableItem);
    memcpy(wanted->s, start, n * sizeof(wchar_t));
    wanted->s[n] = 0;
    return true;
}

bool name_passes(EngineState* st, const wchar_t* found, const wchar_t* pattern) {
    if (st->name_recheck == 1) return true;
    if (st->name_recheck == 2 && platform_matcher()) return platform_matcher()(found, pattern) != FALSE;
    return engine_recheck(st, found, pattern);
}

bool find_entries(EngineState* st, const wchar_t* wanted, FindKind kind, bool skip_hidden, FoundEntry found,
                  void* context, size_t* matched) {
    PathText directory;
    directory_part(wanted, &directory);
    const wchar_t* pattern = name_part(wanted);
    const bool wild = has_wildcards(pattern);
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(wanted, &entry);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        const bool is_directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (is_directory != (kind == FindKind::Directories)) continue;
        if (is_directory && (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0)) continue;
        if (skip_hidden && (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;
        if (wild && !name_passes(st, entry.cFileName, pattern)) continue;
        ++*matched;
        ok = found(st, directory.s, entry, context);
    } while (ok && FindNextFileW(find, &entry));
    FindClose(find);
    return ok;
}

bool walk_file_list(EngineState* st, const wchar_t* list, const WalkRules& rules, FileOperation operation,
                    void* context) {
    const wchar_t* at = list;
    PathText wanted;
    for (;;) {
        bool got;
        if (!next_spec(st, &at, &wanted, &got)) return false;
        if (!got) return true;
        if (!has_wildcards(wanted.s)) {
            if (!operation(st, wanted.s, context)) return false;
            continue;
        }
        if (!rules.wildcards_allowed) return raise(st, Err::WildcardsNotAllowed);
        WalkVisit visit{operation, context, {}};
        size_t matched = 0;
        if (!find_entries(st, wanted.s, FindKind::Files, false, visit_found, &visit, &matched)) return false;
        if (matched == 0 && !rules.no_match_ok) return raise(st, Err::FileListNoMatch);
    }
}

bool walk_list_argument(EngineState* st, const Value& list, const WalkRules& rules, FileOperation operation,
                        void* context) {
    wchar_t* text;
    size_t units;
    if (!arg_wide(st, list, &text, &units)) return false;
    const bool ok = walk_file_list(st, text, rules, operation, context);
    HeapFree(GetProcessHeap(), 0, text);
    return ok;
}

bool find_list_argument(EngineState* st, const Value& list, FindKind kind, bool skip_hidden, FoundEntry found,
                        void* context) {
    wchar_t* text;
    size_t units;
    if (!arg_wide(st, list, &text, &units)) return false;
    const wchar_t* at = text;
    PathText wanted;
    bool ok = true, got = true;
    while (ok && got) {
        ok = next_spec(st, &at, &wanted, &got);
        size_t matched = 0;
        if (ok && got) ok = find_entries(st, wanted.s, kind, skip_hidden, found, context, &matched);
    }
    HeapFree(GetProcessHeap(), 0, text);
    return ok;
}

void map_name(const wchar_t* mask, const wchar_t* name, PathText* out) {
    Span<wchar_t> mask_base, mask_ext, name_base, name_ext;
    bool mask_dot, name_dot;
    split_name(mask, &mask_base, &mask_ext, &mask_dot);
    split_name(name, &name_base, &name_ext, &name_dot);
    size_t n = 0;
    out->s[0] = 0;
    map_part(mask_base, name_base, out, &n);
    if (!mask_dot) return;
    // The dot comes only before an extension that has characters.
    PathText extension;
    size_t e = 0;
    extension.s[0] = 0;
    map_part(mask_ext, name_ext, &extension, &e);
    if (e) {
        put(out, &n, L'.');
        path_append(out, extension.s);
    }
}

bool map_destination(const wchar_t* source, const wchar_t* destination, PathText* out) {
    PathText target;
    lstrcpynW(target.s, destination, PATH_UNITS);
    const size_t n = wcslen(target.s);
    if (n == 0) return false;
    if (!has_wildcards(target.s)) {
        const wchar_t last = target.s[n - 1];
        if (last == L':' || last == L'\\') {
            if (!path_append(&target, L"*.*")) return false;
        } else if (directory_exists(target.s)) {
            if (!path_append(&target, L"\\*.*")) return false;
        }
    }
    PathText full;
    if (!full_path(target.s, &full)) return false;
    PathText name;
    map_name(name_part(full.s), name_part(source), &name);
    if (!name.s[0]) return false;
    directory_part(full.s, out);
    return path_append(out, name.s);
}
