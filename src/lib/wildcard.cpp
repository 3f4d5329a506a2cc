// The first-fit wildcard matcher shared by the string and file families.
#include "lib/wildcard.h"

namespace {

template <typename C>
bool only_stars(const C* q, const C* end) {
    for (; q < end; ++q) {
        if (*q != '*') return false;
    }
    return true;
}

// The literal run from q up to the next "?", "*" or the end.
template <typename C>
const C* run_end(const Steps& steps, const C* q, const C* end) {
    while (q < end && *q != '?' && *q != '*') q += steps.at(q, end);
    return q;
}

template <typename C>
size_t match(const Steps& steps, Span<C> text, Span<C> pattern) {
    if (text.n == 0 || pattern.n == 0) return 0;
    const C* t = text.p;
    const C* q = pattern.p;
    bool star = false;
    while (q < pattern.end() && t < text.end()) {
        if (*q == '*') {
            star = true;
            ++q;
        } else if (*q == '?') {
            star = false;
            ++q;
            t += steps.at(t, text.end());
        } else {
            const C* stop = run_end(steps, q, pattern.end());
            const Span<C> run{q, static_cast<size_t>(stop - q)};
            if (matches_at(steps, t, text.end(), run, true)) {
                t += run.n;
                q = stop;
                star = false;
            } else if (!star) {
                return 0;
            } else {
                t += steps.at(t, text.end());
            }
        }
    }
    if (q == pattern.end()) return pattern.end()[-1] == '*' ? text.n : static_cast<size_t>(t - text.p);
    return only_stars(q, pattern.end()) ? static_cast<size_t>(t - text.p) : 0;
}

template <typename C>
size_t min_chars(const Steps& steps, Span<C> pattern) {
    size_t count = 0;
    for (const C* q = pattern.p; q < pattern.end(); q += steps.at(q, pattern.end())) count += *q != '*';
    return count;
}

}  // namespace

size_t wild_match(const Steps& steps, Span<char> text, Span<char> pattern) { return match(steps, text, pattern); }
size_t wild_match(const Steps& steps, Span<wchar_t> text, Span<wchar_t> pattern) {
    return match(steps, text, pattern);
}
size_t wild_min_chars(const Steps& steps, Span<char> pattern) { return min_chars(steps, pattern); }
size_t wild_min_chars(const Steps& steps, Span<wchar_t> pattern) { return min_chars(steps, pattern); }
