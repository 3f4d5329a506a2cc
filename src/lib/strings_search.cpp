// String functions that measure, cut, search and compare: lengths and byte
// counts, StrSub, StrIndex and StrScan, StrCnt, the wildcard searches and
// the locale-aware comparisons.
#include "base/errors.h"
#include "base/messages.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"
#include "lib/wildcard.h"

namespace {

constexpr int32_t kBackScan = 1;  // @BACKSCAN; @FWDSCAN is 0

// A span of characters [first, first + count) of s, both 0-based characters.
template <typename C>
Span<C> char_range(const Steps& steps, Span<C> s, size_t first, size_t count) {
    const size_t from = char_offset(steps, s, first);
    const Span<C> rest{s.p + from, s.n - from};
    return Span<C>{rest.p, char_offset(steps, rest, count)};
}

// ------------------------------------------------------------------ lengths

// StrLen(string) and StrCharCount(string): characters.
TEXT_WORKER(str_len) {
    result->v.integer = static_cast<int32_t>(char_count(Steps(st), arg_span<C>(st, args[1])));
}

// StrByteCount(string, request): -1 as held, 0 as ANSI, 1 as Unicode.
BUILTIN(str_byte_count) {
    ValuePayload* v = &args[1].v;
    switch (args[2].v.integer) {
    case -1:
        result->v.integer = static_cast<int32_t>(wide ? 2 * wcslen(value_wtext(st, *v)) : strlen(value_text(st, *v)));
        return;
    case 0:
        if (!ToString(st, v)) return (void)raise(st, Err::NotConvertibleToString);
        result->v.integer = static_cast<int32_t>(strlen(value_text(st, *v)));
        return;
    case 1:
        if (!ToUnicode(st, v)) return (void)raise(st, Err::NotConvertibleToUnicode);
        result->v.integer = static_cast<int32_t>(2 * wcslen(value_wtext(st, *v)));
        return;
    default:
        raise(st, Err::BadRequestNumber);
    }
}

// ------------------------------------------------------------------ StrSub

// StrSub(string, start, length)
TEXT_WORKER(str_sub) {
    const Steps steps(st);
    const Span<C> s = arg_span<C>(st, args[1]);
    const int64_t n = static_cast<int64_t>(char_count(steps, s));
    const int64_t start = args[2].v.integer;
    int64_t length = args[3].v.integer;
    if (length == -1 || length > n - start + 1) length = n - start + 1;
    if (length < 0 || (start < 1 && length != 0) || (start > n && length > 0)) length = 0;
    const Span<C> part = length == 0 ? Span<C>{s.p, 0}
                                     : char_range(steps, s, static_cast<size_t>(start - 1), static_cast<size_t>(length));
    set_result(st, result, part);
}

// ------------------------------------------------------------------ StrIndex, StrScan

// Where a forward or backward search begins: 0 is the first character
// forward and the last backward; false when start lies outside the text.
bool search_start(int32_t start, int64_t n, bool backward, int64_t* first) {
    if (start == 0) start = backward ? static_cast<int32_t>(n) : 1;
    *first = start;
    return start >= 1 && start <= n;
}

// The 1-based character position of the first (forward) or last (backward)
// position p in [low, high] at which `hit` holds; 0 when there is none.
template <typename C, typename Hit>
int32_t scan_positions(const Steps& steps, Span<C> s, int64_t low, int64_t high, bool backward, Hit hit) {
    if (low < 1) low = 1;
    int32_t found = 0;
    const C* p = s.p + char_offset(steps, s, static_cast<size_t>(low - 1));
    for (int64_t pos = low; pos <= high && p < s.end(); ++pos) {
        const size_t length = steps.at(p, s.end());
        if (hit(p, length)) {
            found = static_cast<int32_t>(pos);
            if (!backward) break;
        }
        p += length;
    }
    return found;
}

// The arguments of StrIndex and StrScan: text, what to look for (a text or
// a set), start and direction. False when start alone decides the result.
template <typename C>
struct Search {
    Steps steps;
    Span<C> s, what;
    bool backward;
    int64_t n, start;
};

template <typename C>
bool search_args(EngineState* st, Value* result, Value* args, Search<C>* q) {
    q->s = arg_span<C>(st, args[1]);
    q->what = arg_span<C>(st, args[2]);
    q->backward = args[4].v.integer == kBackScan;
    q->n = static_cast<int64_t>(char_count(q->steps, q->s));
    if (!search_start(args[3].v.integer, q->n, q->backward, &q->start)) return false;
    if (q->what.n) return true;
    result->v.integer = static_cast<int32_t>(q->start);
    return false;
}

template <typename C>
void index_search(EngineState* st, Value* result, Value* args, bool ignore_case) {
    Search<C> q{Steps(st), {}, {}, false, 0, 0};
    if (!search_args(st, result, args, &q)) return;
    const int64_t m = static_cast<int64_t>(char_count(q.steps, q.what));
    auto hit = [&](const C* p, size_t) { return matches_at(q.steps, p, q.s.end(), q.what, ignore_case); };
    // Backward, the match must end at or before start.
    result->v.integer = q.backward ? scan_positions(q.steps, q.s, 1, q.start - m + 1, true, hit)
                                   : scan_positions(q.steps, q.s, q.start, q.n - m + 1, false, hit);
}

// StrIndex(string, sub, start, direction)
TEXT_WORKER(str_index) { index_search<C>(st, result, args, false); }
// StrIndexNc(string, sub, start, direction)
TEXT_WORKER(str_index_nc) { index_search<C>(st, result, args, true); }

// StrScan(string, delimiters, start, direction)
TEXT_WORKER(str_scan) {
    Search<C> q{Steps(st), {}, {}, false, 0, 0};
    if (!search_args(st, result, args, &q)) return;
    auto hit = [&](const C* p, size_t length) { return char_in_set(q.steps, p, length, q.what); };
    result->v.integer = q.backward ? scan_positions(q.steps, q.s, 1, q.start, true, hit)
                                   : scan_positions(q.steps, q.s, q.start, q.n, false, hit);
}

// ------------------------------------------------------------------ StrCnt

// StrCnt(string, sub, start, end, flags): positions are units (bytes in
// the ANSI form); bit 0 of flags compares exactly, else each unit ignoring
// case.
TEXT_WORKER(str_cnt) {
    const Span<C> s = arg_span<C>(st, args[1]);
    const Span<C> sub = arg_span<C>(st, args[2]);
    if (s.n == 0 || sub.n == 0) return;
    const int64_t n = static_cast<int64_t>(s.n);
    auto position = [n](int32_t value) -> int64_t { return value == 0 ? 1 : value == -1 ? n : value; };
    int64_t start = position(args[3].v.integer);
    int64_t end = position(args[4].v.integer);
    if (start < 1 || start > n) return (void)raise(st, Err::StrCntBadStart);
    if (end < 1 || end > n) return (void)raise(st, Err::StrCntBadEnd);
    if (start > end) {
        const int64_t swap = start;
        start = end;
        end = swap;
    }
    const bool exact = args[5].v.integer & 1;
    int32_t found = 0;
    for (const C* p = s.p + start - 1; p < s.p + end;) {
        bool hit = static_cast<size_t>(s.end() - p) >= sub.n;
        for (size_t i = 0; hit && i < sub.n; ++i) hit = exact ? p[i] == sub.p[i] : same_char_nc(p + i, sub.p + i, 1);
        if (hit) {
            ++found;
            p += sub.n;
        } else {
            ++p;
        }
    }
    result->v.integer = found;
}

// ------------------------------------------------------------------ wildcards

// StrIndexWild(string, pattern, start)
TEXT_WORKER(str_index_wild) {
    const Steps steps(st);
    const Span<C> s = arg_span<C>(st, args[1]);
    const Span<C> pattern = arg_span<C>(st, args[2]);
    if (s.n == 0) return;
    const int64_t start = args[3].v.integer == 0 ? 1 : args[3].v.integer;
    if (pattern.n == 0) {
        result->v.integer = static_cast<int32_t>(start);
        return;
    }
    const int64_t n = static_cast<int64_t>(char_count(steps, s));
    if (start < 1 || start > n) return;
    const int64_t least = static_cast<int64_t>(wild_min_chars(steps, pattern));
    const C* p = s.p + char_offset(steps, s, static_cast<size_t>(start - 1));
    for (int64_t pos = start; n - pos + 1 >= least && p < s.end(); ++pos) {
        if (wild_match(steps, Span<C>{p, static_cast<size_t>(s.end() - p)}, pattern)) {
            result->v.integer = static_cast<int32_t>(pos);
            return;
        }
        p += steps.at(p, s.end());
    }
}

// The text that the pattern matches at start; empty for none.
template <typename C>
Span<C> wild_at(EngineState* st, Value* args) {
    const Steps steps(st);
    const Span<C> s = arg_span<C>(st, args[1]);
    const Span<C> pattern = arg_span<C>(st, args[2]);
    const int64_t start = args[3].v.integer == 0 ? 1 : args[3].v.integer;
    if (s.n == 0 || pattern.n == 0 || start < 0) return Span<C>{s.p, 0};
    if (start > static_cast<int64_t>(char_count(steps, s))) return Span<C>{s.p, 0};
    const size_t from = char_offset(steps, s, static_cast<size_t>(start - 1));
    const Span<C> rest{s.p + from, s.n - from};
    return Span<C>{rest.p, wild_match(steps, rest, pattern)};
}

// StrLenWild(string, pattern, start): units (bytes in the ANSI form).
TEXT_WORKER(str_len_wild) { result->v.integer = static_cast<int32_t>(wild_at<C>(st, args).n); }
// StrSubWild(string, pattern, start)
TEXT_WORKER(str_sub_wild) { set_result(st, result, wild_at<C>(st, args)); }

// ------------------------------------------------------------------ comparisons

template <typename C>
void compare(EngineState* st, Value* result, Value* args, DWORD flags) {
    const int outcome = compare_locale(arg_span<C>(st, args[1]), arg_span<C>(st, args[2]), flags);
    if (outcome == 0) return (void)raise(st, Err::FunctionFailed);
    result->v.integer = outcome - CSTR_EQUAL;
}

// StrCmp(string1, string2)
TEXT_WORKER(str_cmp) { compare<C>(st, result, args, 0); }
// StriCmp(string1, string2)
TEXT_WORKER(str_icmp) { compare<C>(st, result, args, NORM_IGNORECASE); }

}  // namespace

constexpr BuiltinRow kStringSearchBuiltins[] = {
    BUILTIN_ROW("strbytecount", str_byte_count),
    BUILTIN_ROW("strcharcount", TEXT_TWIN(str_len)),
    READER_ROW("strcmp", TEXT_TWIN(str_cmp)),
    READER_ROW("strcnt", TEXT_TWIN_NT(str_cnt)),
    READER_ROW("stricmp", TEXT_TWIN(str_icmp)),
    READER_ROW("strindex", TEXT_TWIN(str_index)),
    BUILTIN_ROW("strindexnc", TEXT_TWIN_NT(str_index_nc)),
    BUILTIN_ROW("strindexwild", TEXT_TWIN_NT(str_index_wild)),
    READER_ROW("strlen", TEXT_TWIN(str_len)),
    BUILTIN_ROW("strlenwild", TEXT_TWIN_NT(str_len_wild)),
    READER_ROW("strscan", TEXT_TWIN(str_scan)),
    READER_ROW("strsub", TEXT_TWIN(str_sub)),
    BUILTIN_ROW("strsubwild", TEXT_TWIN_NT(str_sub_wild)),
};
constexpr size_t kStringSearchBuiltinCount = sizeof(kStringSearchBuiltins) / sizeof(kStringSearchBuiltins[0]);
