// Character-level text helpers shared by the string, item-list and
// character families: spans over ANSI or wide text, stepping by whole
// characters (a double-byte pair is one), case folding, results in the
// string heap and a growable work buffer. Templates over char and wchar_t
// give each function one worker for its ANSI and wide forms.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/word_scan.h"
#include "lang/value.h"
#include "lib/dispatch.h"

// A text and its length in units (bytes or 16-bit units).
template <typename C>
struct Span {
    const C* p;
    size_t n;
    const C* end() const { return p + n; }
};

// The first unit equal to c in [p, end) (end when none), read a word at a
// time like text_length (base/word_scan.h).
const char* find_unit(const char* p, const char* end, char c);
const wchar_t* find_unit(const wchar_t* p, const wchar_t* end, wchar_t c);
// Just past the k-th unit equal to c in [p, end); end when there are fewer,
// with *seen the number met.
const char* skip_units(const char* p, const char* end, char c, size_t k, size_t* seen);
const wchar_t* skip_units(const wchar_t* p, const wchar_t* end, wchar_t c, size_t k, size_t* seen);

// Argument i as the text of its form ("" when it holds none).
template <typename C>
Span<C> arg_span(const EngineState* st, const Value& arg);

// Lead-byte table of the engine's current code page, or null when that
// code page has no double-byte characters (then every byte is a character).
const bool* lead_bytes(const EngineState* st);

// Steps by whole characters: a lead byte and its trail byte go together.
struct Steps {
    const bool* lead;
    explicit Steps(const EngineState* st) : lead(lead_bytes(st)) {}
    size_t at(const char* p, const char* end) const {
        return (lead && lead[static_cast<uint8_t>(*p)] && p + 1 < end) ? 2 : 1;
    }
    size_t at(const wchar_t*, const wchar_t*) const { return 1; }
};

// Number of characters in a span.
template <typename C>
size_t char_count(const Steps& steps, Span<C> s) {
    if (sizeof(C) == 2 || !steps.lead) return s.n;
    size_t count = 0;
    for (const C* p = s.p; p < s.end(); p += steps.at(p, s.end())) ++count;
    return count;
}

// Offset in units of character `k` (0-based); s.n when k is at or past the end.
template <typename C>
size_t char_offset(const Steps& steps, Span<C> s, size_t k) {
    if (sizeof(C) == 2 || !steps.lead) return k < s.n ? k : s.n;
    const C* p = s.p;
    for (; k > 0 && p < s.end(); --k) p += steps.at(p, s.end());
    return static_cast<size_t>(p - s.p);
}

// Case-insensitive equality of two characters of `length` units each.
bool same_char_nc(const char* a, const char* b, size_t length);
bool same_char_nc(const wchar_t* a, const wchar_t* b, size_t length);

// The system's locale-aware comparison of the user locale: CSTR_LESS_THAN,
// CSTR_EQUAL, CSTR_GREATER_THAN, or 0 when it fails.
inline int compare_locale(Span<char> a, Span<char> b, DWORD flags) {
    return CompareStringA(LOCALE_USER_DEFAULT, flags, a.p, static_cast<int>(a.n), b.p, static_cast<int>(b.n));
}
inline int compare_locale(Span<wchar_t> a, Span<wchar_t> b, DWORD flags) {
    return CompareStringW(LOCALE_USER_DEFAULT, flags, a.p, static_cast<int>(a.n), b.p, static_cast<int>(b.n));
}

// Whether `sub` matches at p (p's room ends at `end`), exactly or ignoring
// case, character by character.
template <typename C>
bool matches_at(const Steps& steps, const C* p, const C* end, Span<C> sub, bool ignore_case) {
    if (static_cast<size_t>(end - p) < sub.n) return false;
    if (!ignore_case) return memcmp(p, sub.p, sub.n * sizeof(C)) == 0;
    for (const C* q = sub.p; q < sub.end();) {
        const size_t length = steps.at(q, sub.end());
        if (steps.at(p, end) != length || !same_char_nc(p, q, length)) return false;
        p += length;
        q += length;
    }
    return true;
}

// Whether the character at c (of `length` units) occurs in `set`.
template <typename C>
bool char_in_set(const Steps& steps, const C* c, size_t length, Span<C> set) {
    for (const C* q = set.p; q < set.end(); q += steps.at(q, set.end())) {
        if (steps.at(q, set.end()) == length && memcmp(q, c, length * sizeof(C)) == 0) return true;
    }
    return false;
}

// A new heap text of `units` units as the result (terminated); null after
// raising 3096 when the heap is full.
template <typename C>
C* new_result_text(EngineState* st, Value* result, size_t units);

// The result as a copy of a span.
template <typename C>
bool set_result(EngineState* st, Value* result, Span<C> s) {
    C* out = new_result_text<C>(st, result, s.n);
    if (out && s.n) memcpy(out, s.p, s.n * sizeof(C));
    return out != nullptr;
}

// A work buffer outside the string heap that grows by doubling; a failed
// allocation raises 1588 and leaves the buffer as it was.
template <typename C>
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    [[nodiscard]] bool append(EngineState* st, const C* text, size_t units);
    [[nodiscard]] bool append(EngineState* st, Span<C> s) { return append(st, s.p, s.n); }
    // The text as the function's result.
    [[nodiscard]] bool to_result(EngineState* st, Value* result) const {
        return set_result<C>(st, result, span());
    }
    Span<C> span() const { return Span<C>{data_ ? data_ : empty(), size_}; }
    C* data() { return data_; }
    size_t size() const { return size_; }
    void clear() { size_ = 0; }

private:
    static const C* empty() {
        static const C nothing[1] = {0};
        return nothing;
    }
    C* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Calls Worker<char> or Worker<wchar_t>: the wide form when the dispatcher
// converted the call's text arguments to wide text. `mixed` marks functions
// whose text arguments turn wide only on NT-family systems.
#define TEXT_TWIN(worker)                                                                   \
    [](EngineState* st, uint16_t, int count, Value* result, Value* args, bool wide) {       \
        if (wide) worker<wchar_t>(st, count, result, args);                                 \
        else worker<char>(st, count, result, args);                                         \
    }
#define TEXT_TWIN_NT(worker)                                                                \
    [](EngineState* st, uint16_t, int count, Value* result, Value* args, bool wide) {       \
        if (wide && g_os.is_nt) worker<wchar_t>(st, count, result, args);                   \
        else worker<char>(st, count, result, args);                                         \
    }

// Script signature of a twin worker.
#define TEXT_WORKER(name)                                                                    \
    template <typename C>                                                                    \
    void name([[maybe_unused]] EngineState* st, [[maybe_unused]] int count,                  \
              [[maybe_unused]] Value* result, [[maybe_unused]] Value* args)

inline int32_t optional_arg(const Value* args, int count, int index, int32_t fallback) {
    return count >= index ? args[index].v.integer : fallback;
}
