// Item-list scanning: delimiters, counts and item lookup, one pass over the
// text without an item array.
#include "lib/item_list.h"

#include <stdint.h>

#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"
#include "base/messages.h"


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

// Without double-byte characters every unit is a character boundary, and a
// one-unit delimiter can be counted word by word.
template <typename C>
inline bool unit_delimiter(const Steps& steps, Span<C> delimiter) {
    return delimiter.n == 1 && (sizeof(C) == 2 || !steps.lead);
}

// Just past the k-th delimiter from p; end when there are fewer, with
// *seen the number met.
template <typename C>
const C* skip_delimiters(const Steps& steps, const C* p, const C* end, Span<C> delimiter, size_t k, size_t* seen) {
    if (unit_delimiter(steps, delimiter)) return skip_units(p, end, delimiter.p[0], k, seen);
    size_t met = 0;
    while (met < k) {
        p = next_delimiter(steps, p, end, delimiter);
        if (p == end) break;
        p += delimiter.n;
        ++met;
    }
    *seen = met;
    return p;
}

template <typename C>
const C* next_delimiter(const Steps& steps, const C* p, const C* end, Span<C> delimiter) {
    if (unit_delimiter(steps, delimiter)) return find_unit(p, end, delimiter.p[0]);
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
    size_t seen;
    skip_delimiters(steps, list.p, list.end(), delimiter, SIZE_MAX, &seen);
    return seen + 1;
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
    size_t seen;
    const size_t before = static_cast<size_t>(index - 1);
    const C* p = skip_delimiters(steps, list.p, list.end(), delimiter, before, &seen);
    if (seen < before) return false;
    const C* stop = next_delimiter(steps, p, list.end(), delimiter);
    *item = Span<C>{p, static_cast<size_t>(stop - p)};
    return true;
}

// ------------------------------------------------------------------ walks

namespace {

// A walk kept for `block` read with these steps and this delimiter.
bool walk_holds(const EngineState* st, uint32_t block, const Steps& steps, Span<char> delimiter) {
    const ListWalk& w = st->list_walk;
    return block && st->walked_block == block && w.lead == steps.lead && delimiter.n == 1 &&
           w.delimiter == delimiter.p[0];
}

}  // namespace

template <>
Span<char> list_argument<char>(EngineState* st, const Value& arg, uint32_t* block) {
    const ValuePayload& v = arg.v;
    *block = (v.flags & VF_STRING) && v.handle ? static_cast<uint32_t>(v.handle) : 0;
    if (*block && *block == st->walked_block)
        return Span<char>{heap_text(st, *block), st->list_walk.length};
    return arg_span<char>(st, arg);
}

template <>
Span<wchar_t> list_argument<wchar_t>(EngineState* st, const Value& arg, uint32_t* block) {
    *block = 0;
    return arg_span<wchar_t>(st, arg);
}

template <>
bool walked_item_at<char>(EngineState* st, uint32_t block, const Steps& steps, Span<char> list,
                          Span<char> delimiter, int32_t index, Span<char>* item) {
    // A text that is no heap block, the last item, a double-byte delimiter
    // or code page and the empty list are found as always.
    if (!block || index < 1 || !unit_delimiter(steps, delimiter) || list.n == 0)
        return item_at(steps, list, delimiter, index, item);
    ListWalk& w = st->list_walk;
    int32_t from_index = 1;
    const char* from = list.p;
    if (walk_holds(st, block, steps, delimiter) && w.length == list.n && index >= w.index) {
        from_index = w.index;
        from = list.p + w.offset;
    }
    size_t seen;
    const size_t before = static_cast<size_t>(index - from_index);
    const char* p = skip_delimiters(steps, from, list.end(), delimiter, before, &seen);
    if (seen < before) return false;
    const char* stop = next_delimiter(steps, p, list.end(), delimiter);
    *item = Span<char>{p, static_cast<size_t>(stop - p)};
    st->walked_block = block;
    w = ListWalk{steps.lead, static_cast<uint32_t>(list.n), index, static_cast<uint32_t>(p - list.p),
                 delimiter.p[0]};
    return true;
}

template <>
bool walked_item_at<wchar_t>(EngineState*, uint32_t, const Steps& steps, Span<wchar_t> list,
                             Span<wchar_t> delimiter, int32_t index, Span<wchar_t>* item) {
    return item_at(steps, list, delimiter, index, item);
}

#define ITEM_LIST_FORMS(C)                                                                          \
    template bool item_delimiter<C>(EngineState*, const Steps&, Span<C>, Span<C>*);                 \
    template const C* next_delimiter<C>(const Steps&, const C*, const C*, Span<C>);                 \
    template size_t item_count<C>(const Steps&, Span<C>, Span<C>);                                   \
    template bool item_at<C>(const Steps&, Span<C>, Span<C>, int32_t, Span<C>*);
ITEM_LIST_FORMS(char)
ITEM_LIST_FORMS(wchar_t)
