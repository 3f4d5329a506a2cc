// Item-list functions: counting, extracting, locating, inserting, removing,
// replacing and sorting items, and the comma-separated-values forms.
#include <initializer_list>
#include "base/errors.h"
#include "base/messages.h"
#include "lib/builtins.h"
#include "lib/csv_line.h"
#include "lib/item_list.h"
#include "lib/text_ops.h"

namespace {

// The list and delimiter arguments at positions `list_at` and `list_at + 1`.
template <typename C>
struct ListArgs {
    Steps steps;
    Span<C> list;
    Span<C> delimiter;
};

template <typename C>
bool list_args(EngineState* st, Value* args, int list_at, ListArgs<C>* out) {
    out->list = arg_span<C>(st, args[list_at]);
    return item_delimiter(st, out->steps, arg_span<C>(st, args[list_at + 1]), &out->delimiter);
}

// Where item `index` (1-based) begins: just past the (index - 1)-th delimiter.
template <typename C>
const C* item_start(const ListArgs<C>& a, int32_t index) {
    const C* p = a.list.p;
    for (int32_t i = 1; i < index; ++i) p = next_delimiter(a.steps, p, a.list.end(), a.delimiter) + a.delimiter.n;
    return p;
}

// The result: the pieces in order.
template <typename C>
void join(EngineState* st, Value* result, std::initializer_list<Span<C>> pieces) {
    size_t size = 0;
    for (const Span<C>& piece : pieces) size += piece.n;
    C* out = new_result_text<C>(st, result, size);
    if (!out) return;
    for (const Span<C>& piece : pieces) {
        memcpy(out, piece.p, piece.n * sizeof(C));
        out += piece.n;
    }
}

template <typename C>
Span<C> between(const C* from, const C* to) {
    return Span<C>{from, static_cast<size_t>(to - from)};
}

// ------------------------------------------------------------------ reading

// ItemCount(list, delimiter)
TEXT_WORKER(item_count_fn) {
    ListArgs<C> a{Steps(st), {}, {}};
    if (!list_args(st, args, 1, &a)) return;
    result->v.integer = static_cast<int32_t>(item_count(a.steps, a.list, a.delimiter));
}

// ItemExtract(index, list, delimiter): "" for an item that is not there.
TEXT_WORKER(item_extract) {
    ListArgs<C> a{Steps(st), {}, {}};
    uint32_t block;
    a.list = list_argument<C>(st, args[2], &block);
    if (!item_delimiter(st, a.steps, arg_span<C>(st, args[3]), &a.delimiter)) return;
    Span<C> item{a.list.p, 0};
    if (!walked_item_at(st, block, a.steps, a.list, a.delimiter, args[1].v.integer, &item)) item.n = 0;
    set_result(st, result, item);
}

// ItemLocate(item, list, delimiter): the first item equal to item, exactly.
TEXT_WORKER(item_locate) {
    ListArgs<C> a{Steps(st), {}, {}};
    if (!list_args(st, args, 2, &a)) return;
    const Span<C> wanted = arg_span<C>(st, args[1]);
    if (a.list.n == 0) return;
    const C* p = a.list.p;
    for (int32_t index = 1;; ++index) {
        const C* stop = next_delimiter(a.steps, p, a.list.end(), a.delimiter);
        if (static_cast<size_t>(stop - p) == wanted.n && memcmp(p, wanted.p, wanted.n * sizeof(C)) == 0) {
            result->v.integer = index;
            return;
        }
        if (stop == a.list.end()) return;
        p = stop + a.delimiter.n;
    }
}

// ------------------------------------------------------------------ editing

// ItemInsert(item, index, list, delimiter): index items stay in front of
// the new one; -1 or an index at or past the count appends.
TEXT_WORKER(item_insert) {
    ListArgs<C> a{Steps(st), {}, {}};
    if (!list_args(st, args, 3, &a)) return;
    const Span<C> item = arg_span<C>(st, args[1]);
    const int32_t index = args[2].v.integer;
    if (index < 0 || static_cast<size_t>(index) >= item_count(a.steps, a.list, a.delimiter)) {
        const Span<C> separator{a.delimiter.p, a.list.n ? a.delimiter.n : 0};
        return join<C>(st, result, {a.list, separator, item});
    }
    const C* point = item_start(a, index + 1);
    join<C>(st, result, {between(a.list.p, point), item, a.delimiter, between(point, a.list.end())});
}

// The item that index (-1 the last) names, or false when there is none.
template <typename C>
bool edited_item(const ListArgs<C>& a, int32_t* index, Span<C>* item) {
    const size_t count = item_count(a.steps, a.list, a.delimiter);
    if (*index == -1) *index = static_cast<int32_t>(count);
    return *index >= 1 && static_cast<size_t>(*index) <= count && item_at(a.steps, a.list, a.delimiter, *index, item);
}

// ItemRemove(index, list, delimiter): the item goes with the delimiter
// after it, or for the last item the one in front of it.
TEXT_WORKER(item_remove) {
    ListArgs<C> a{Steps(st), {}, {}};
    if (!list_args(st, args, 2, &a)) return;
    int32_t index = args[1].v.integer;
    Span<C> item;
    if (!edited_item(a, &index, &item)) return (void)set_result(st, result, a.list);
    if (item.end() == a.list.end()) {
        const C* cut = index > 1 ? item.p - a.delimiter.n : item.p;
        return (void)set_result(st, result, between(a.list.p, cut));
    }
    join<C>(st, result, {between(a.list.p, item.p), between(item.end() + a.delimiter.n, a.list.end())});
}

// ItemReplace(item, index, list, delimiter)
TEXT_WORKER(item_replace) {
    ListArgs<C> a{Steps(st), {}, {}};
    if (!list_args(st, args, 3, &a)) return;
    int32_t index = args[2].v.integer;
    Span<C> item;
    if (!edited_item(a, &index, &item)) return (void)set_result(st, result, a.list);
    join<C>(st, result, {between(a.list.p, item.p), arg_span<C>(st, args[1]), between(item.end(), a.list.end())});
}

// ------------------------------------------------------------------ sorting

// An array of item spans outside the string heap.
template <typename C>
struct SpanArray {
    Span<C>* items = nullptr;
    ~SpanArray() {
        if (items) HeapFree(GetProcessHeap(), 0, items);
    }
    bool allocate(EngineState* st, size_t count) {
        items = static_cast<Span<C>*>(HeapAlloc(GetProcessHeap(), 0, (count ? count : 1) * sizeof(Span<C>)));
        return items || raise(st, Err::AllocFailed);
    }
};

// A stable merge sort: among equal items the earlier stays first, as a
// selection that keeps the first smallest would order them.
template <typename C>
void merge_sort(Span<C>* items, Span<C>* work, size_t count, DWORD flags) {
    if (count < 2) return;
    const size_t half = count / 2;
    merge_sort(items, work, half, flags);
    merge_sort(items + half, work, count - half, flags);
    size_t i = 0, j = half, k = 0;
    while (i < half && j < count)
        work[k++] = compare_locale(items[j], items[i], flags) < CSTR_EQUAL ? items[j++] : items[i++];
    while (i < half) work[k++] = items[i++];
    while (j < count) work[k++] = items[j++];
    memcpy(items, work, count * sizeof(Span<C>));
}

// Sorts the non-empty items; the empty ones come first as bare delimiters,
// one for each item that the sorted text has fewer than the list.
template <typename C>
void sort_items(EngineState* st, Value* result, Value* args, DWORD flags) {
    ListArgs<C> a{Steps(st), {}, {}};
    if (!list_args(st, args, 1, &a)) return;
    const size_t count = item_count(a.steps, a.list, a.delimiter);
    SpanArray<C> items, work;
    if (!items.allocate(st, count) || !work.allocate(st, count)) return;
    size_t filled = 0;
    for (const C* p = a.list.p; count;) {
        const C* stop = next_delimiter(a.steps, p, a.list.end(), a.delimiter);
        if (stop > p) items.items[filled++] = between(p, stop);
        if (stop == a.list.end()) break;
        p = stop + a.delimiter.n;
    }
    merge_sort(items.items, work.items, filled, flags);
    TextBuffer<C> out;
    for (size_t i = filled; i < count; ++i) {
        if (!out.append(st, a.delimiter)) return;
    }
    for (size_t i = 0; i < filled; ++i) {
        if ((i > 0 && !out.append(st, a.delimiter)) || !out.append(st, items.items[i])) return;
    }
    (void)out.to_result(st, result);
}

// ItemSort(list, delimiter)
TEXT_WORKER(item_sort) { sort_items<C>(st, result, args, 0); }
// ItemSortNc(list, delimiter): ANSI text only.
BUILTIN(item_sort_nc) { sort_items<char>(st, result, args, NORM_IGNORECASE); }

// ------------------------------------------------------------------ CSV

// The line in a writable ANSI buffer: wide text goes through UTF-8, whose
// multi-byte sequences never contain a delimiter, quote or blank.
bool csv_copy(EngineState* st, const Value& arg, bool wide, TextBuffer<char>* line) {
    if (!wide) return line->append(st, arg_span<char>(st, arg));
    const Span<wchar_t> w = arg_span<wchar_t>(st, arg);
    if (w.n == 0) return true;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.p, static_cast<int>(w.n), nullptr, 0, nullptr, nullptr);
    const char zero = 0;
    for (int i = 0; i < bytes; ++i) CHECK(line->append(st, &zero, 1));
    WideCharToMultiByte(CP_UTF8, 0, w.p, static_cast<int>(w.n), line->data(), bytes, nullptr, nullptr);
    return true;
}

// The delimiter argument (default ",") as one byte; 0 when it is not one.
char csv_delimiter(EngineState* st, const Value* args, int count, int at, bool wide) {
    if (count < at) return ',';
    if (wide) {
        const Span<wchar_t> w = arg_span<wchar_t>(st, args[at]);
        const char text[2] = {static_cast<char>(w.n == 1 && w.p[0] < 0x80 ? w.p[0] : 0), 0};
        return is_csv_delimiter(text) ? text[0] : 0;
    }
    const char* text = arg_span<char>(st, args[at]).p;
    return is_csv_delimiter(text) ? text[0] : 0;
}

// ItemCountCsv(line, flags [, delimiter])
BUILTIN(item_count_csv) {
    const char delimiter = csv_delimiter(st, args, count, 3, wide);
    if (!delimiter) return (void)raise(st, Err::ItemCountCsvBadDelimiter);
    TextBuffer<char> line;
    if (!csv_copy(st, args[1], wide, &line)) return;
    uint32_t fields = 0;
    if (!split_csv_line(line.data(), line.size(), delimiter, true, nullptr, nullptr, &fields))
        return (void)raise(st, Err::ItemCountCsvBadLine);
    result->v.integer = static_cast<int32_t>(fields);
}

struct CsvPick {
    CsvPick(EngineState* state, int32_t index) : st(state), wanted(index) {}
    EngineState* st;
    int32_t wanted;  // -1: the last
    int32_t seen = 0;
    TextBuffer<char> field;
    bool failed = false;
};

bool pick_field(void* context, const char* text, size_t length) {
    CsvPick* pick = static_cast<CsvPick*>(context);
    ++pick->seen;
    if (pick->wanted != -1 && pick->seen != pick->wanted) return true;
    pick->field.clear();
    pick->failed = !pick->field.append(pick->st, text, length);
    return !pick->failed;
}

bool csv_result(EngineState* st, Value* result, Span<char> field, bool wide) {
    if (!wide || field.n == 0) return wide ? set_result(st, result, Span<wchar_t>{L"", 0}) : set_result(st, result, field);
    const int units = MultiByteToWideChar(CP_UTF8, 0, field.p, static_cast<int>(field.n), nullptr, 0);
    wchar_t* out = new_result_text<wchar_t>(st, result, static_cast<size_t>(units > 0 ? units : 0));
    if (out && units > 0) MultiByteToWideChar(CP_UTF8, 0, field.p, static_cast<int>(field.n), out, units);
    return out != nullptr;
}

// ItemExtractCsv(index, line, flags [, delimiter]): bit 0 of flags keeps
// the blanks around an unquoted field.
BUILTIN(item_extract_csv) {
    const char delimiter = csv_delimiter(st, args, count, 4, wide);
    if (!delimiter) return (void)raise(st, Err::ItemExtractCsvBadDelimiter);
    TextBuffer<char> line;
    if (!csv_copy(st, args[2], wide, &line)) return;
    CsvPick pick(st, args[1].v.integer);
    uint32_t fields = 0;
    const bool valid = split_csv_line(line.data(), line.size(), delimiter, args[3].v.integer & 1, pick_field, &pick, &fields);
    if (pick.failed) return;
    if (!valid) return (void)raise(st, Err::ItemExtractCsvBadLine);
    const bool found = pick.wanted == -1 ? fields > 0 : pick.wanted >= 1 && pick.seen >= pick.wanted;
    csv_result(st, result, found ? pick.field.span() : Span<char>{"", 0}, wide);
}

}  // namespace

// ItemSelect waits for the list-box dialog of the Ask boxes.
constexpr BuiltinRow kItemBuiltins[] = {
    READER_ROW("itemcount", TEXT_TWIN(item_count_fn)),
    BUILTIN_ROW("itemcountcsv", item_count_csv),
    READER_ROW("itemextract", TEXT_TWIN(item_extract)),
    BUILTIN_ROW("itemextractcsv", item_extract_csv),
    BUILTIN_ROW("iteminsert", TEXT_TWIN(item_insert)),
    READER_ROW("itemlocate", TEXT_TWIN(item_locate)),
    BUILTIN_ROW("itemremove", TEXT_TWIN(item_remove)),
    BUILTIN_ROW("itemreplace", TEXT_TWIN(item_replace)),
    BUILTIN_ROW("itemsort", TEXT_TWIN(item_sort)),
    BUILTIN_ROW("itemsortnc", item_sort_nc),
};
constexpr size_t kItemBuiltinCount = sizeof(kItemBuiltins) / sizeof(kItemBuiltins[0]);
