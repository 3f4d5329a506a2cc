// Item-list scanning: delimiters, counts and item lookup, one pass over the
// text without an item array.
#include "lib/item_list.h"

#include "lang/errors.h"
#include "resources/messages.h"

namespace {

template <typename C>
const C* find_unit(const C* p, const C* end, C c);
template <>
const char* find_unit(const char* p, const char* end, char c) {
    const void* hit = memchr(p, c, static_cast<size_t>(end - p));
    return hit ? static_cast<const char*>(hit) : end;
}
template <>
const wchar_t* find_unit(const wchar_t* p, const wchar_t* end, wchar_t c) {
    const wchar_t* hit = wmemchr(p, c, static_cast<size_t>(end - p));
    return hit ? hit : end;
}

}  // namespace

template <typename C>
bool item_delimiter(EngineState* st, const Steps& steps, Span<C> argument, Span<C>* delimiter) {
    static const C tab[2] = {'\t', 0};
    if (argument.n == 0) {
        *delimiter = Span<C>{tab, 1};
        return true;
    }
    if (steps.at(argument.p, argument.end()) != argument.n) return raise(st, Err::DelimiterNotSingleChar);
    *delimiter = argument;
    return true;
}

template <typename C>
const C* next_delimiter(const Steps& steps, const C* p, const C* end, Span<C> delimiter) {
    // Without double-byte characters every unit is a character boundary.
    if (delimiter.n == 1 && (sizeof(C) == 2 || !steps.lead)) return find_unit(p, end, delimiter.p[0]);
    while (p < end) {
        const size_t length = steps.at(p, end);
        if (length == delimiter.n && memcmp(p, delimiter.p, length * sizeof(C)) == 0) return p;
        p += length;
    }
    return end;
}

template <typename C>
size_t item_count(const Steps& steps, Span<C> list, Span<C> delimiter) {
    if (list.n == 0) return 0;
    size_t count = 1;
    for (const C* p = list.p;; ++count) {
        p = next_delimiter(steps, p, list.end(), delimiter);
        if (p == list.end()) return count;
        p += delimiter.n;
    }
}

template <typename C>
bool item_at(const Steps& steps, Span<C> list, Span<C> delimiter, int32_t index, Span<C>* item) {
    if (list.n == 0) return false;
    if (index == -1) {
        // The last item begins after the last delimiter.
        const C* start = list.p;
        for (const C* p = list.p;;) {
            p = next_delimiter(steps, p, list.end(), delimiter);
            if (p == list.end()) break;
            p += delimiter.n;
            start = p;
        }
        *item = Span<C>{start, static_cast<size_t>(list.end() - start)};
        return true;
    }
    if (index < 1) return false;
    const C* p = list.p;
    for (int32_t i = 1; i < index; ++i) {
        p = next_delimiter(steps, p, list.end(), delimiter);
        if (p == list.end()) return false;
        p += delimiter.n;
    }
    const C* stop = next_delimiter(steps, p, list.end(), delimiter);
    *item = Span<C>{p, static_cast<size_t>(stop - p)};
    return true;
}

#define ITEM_LIST_FORMS(C)                                                                          \
    template bool item_delimiter<C>(EngineState*, const Steps&, Span<C>, Span<C>*);                 \
    template const C* next_delimiter<C>(const Steps&, const C*, const C*, Span<C>);                 \
    template size_t item_count<C>(const Steps&, Span<C>, Span<C>);                                   \
    template bool item_at<C>(const Steps&, Span<C>, Span<C>, int32_t, Span<C>*);
ITEM_LIST_FORMS(char)
ITEM_LIST_FORMS(wchar_t)
