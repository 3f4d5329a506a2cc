// Binary buffers seen as arrays of fixed-size records: BinarySort and the
// open-addressing hash store BinaryHashRec.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/binary_buffers.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

// Key types of BinarySort's flags; the first bit set wins.
constexpr int32_t KEY_WORD1 = 1, KEY_WORD2 = 2, KEY_WORD4 = 4, KEY_FLOAT8 = 8;
constexpr int32_t SORT_DESCENDING = 16;
constexpr int kInsertionRange = 8;

struct RecordLayout {
    int32_t record, key_offset, key_size;
    uint32_t records;  // whole records in the buffer
};

// The record rules BinarySort and BinaryHashRec share.
bool read_layout(EngineState* st, const BinaryBufferEntry* b, int32_t record, int32_t key_offset, int32_t key_size,
                 RecordLayout* layout) {
    if (record < 1) return raise(st, Err::BinaryHashBadRecordSize);
    if (key_offset < 0) return raise(st, Err::BinaryHashBadKeyOffset);
    if (key_size < 1) return raise(st, Err::BinaryHashBadKeySize);
    if (static_cast<int64_t>(key_offset) + key_size > record) return raise(st, Err::BinaryHashKeyBeyondRecord);
    if (static_cast<uint32_t>(record) > b->size) return raise(st, Err::BinaryHashRecordTooLarge);
    *layout = RecordLayout{record, key_offset, key_size, b->size / static_cast<uint32_t>(record)};
    return true;
}

// ------------------------------------------------------------------ BinarySort

// One record to sort: where it lies, and its key (a number, or the padded
// text copy of a text key).
struct SortEntry {
    const uint8_t* record;
    union {
        uint32_t word;
        double real;
        const char* text;
    } key;
    const uint8_t* sort_key;  // text keys: the locale's case-blind sort key
};

enum class KeyType { Text, Word, Float };

struct KeyOrder {
    KeyType type;
    bool descending;
    // Negative, 0 or positive as a sorts before, with or after b ascending.
    int compare(const SortEntry& a, const SortEntry& b) const {
        int c;
        if (type == KeyType::Word)
            c = a.key.word < b.key.word ? -1 : a.key.word > b.key.word;
        else if (type == KeyType::Float)
            c = a.key.real < b.key.real ? -1 : a.key.real > b.key.real;
        else
            c = compare_text(a, b);
        return descending ? -c : c;
    }
    // Case-insensitive by the locale (its sort keys, made once per record,
    // compare as the locale's compare does), then case-sensitive for ties.
    static int compare_text(const SortEntry& a, const SortEntry& b) {
        const int c = strcmp(reinterpret_cast<const char*>(a.sort_key), reinterpret_cast<const char*>(b.sort_key));
        if (c) return c;
        return CompareStringA(LOCALE_USER_DEFAULT, 0, a.key.text, -1, b.key.text, -1) - CSTR_EQUAL;
    }
    bool less(const SortEntry& a, const SortEntry& b) const { return compare(a, b) < 0; }
};

void insertion_sort(SortEntry* e, size_t n, const KeyOrder& order) {
    for (size_t i = 1; i < n; ++i) {
        const SortEntry item = e[i];
        size_t j = i;
        for (; j > 0 && order.less(item, e[j - 1]); --j) e[j] = e[j - 1];
        e[j] = item;
    }
}

inline void swap_entries(SortEntry* a, SortEntry* b) {
    const SortEntry t = *a;
    *a = *b;
    *b = t;
}

// Iterative quicksort: median of first, middle and last as pivot, the
// larger part pushed on its own stack and the smaller one sorted next,
// short ranges finished by insertion sort. Not stable.
void quick_sort(SortEntry* e, size_t n, const KeyOrder& order) {
    struct Range {
        ptrdiff_t low, high;  // inclusive
    };
    Range stack[64];  // the smaller part goes first, so depth stays below log2(n)
    int depth = 0;
    ptrdiff_t low = 0, high = static_cast<ptrdiff_t>(n) - 1;
    for (;;) {
        while (high - low >= kInsertionRange) {
            const ptrdiff_t middle = low + (high - low) / 2;
            if (order.less(e[middle], e[low])) swap_entries(&e[middle], &e[low]);
            if (order.less(e[high], e[low])) swap_entries(&e[high], &e[low]);
            if (order.less(e[high], e[middle])) swap_entries(&e[high], &e[middle]);
            const SortEntry pivot = e[middle];
            ptrdiff_t i = low, j = high;
            while (i <= j) {
                while (order.less(e[i], pivot)) ++i;
                while (order.less(pivot, e[j])) --j;
                if (i <= j) swap_entries(&e[i++], &e[j--]);
            }
            // [low, j] and [i, high]: push the larger, go on with the smaller.
            if (j - low > high - i) {
                stack[depth++] = Range{low, j};
                low = i;
            } else {
                stack[depth++] = Range{i, high};
                high = j;
            }
        }
        if (high > low) insertion_sort(e + low, static_cast<size_t>(high - low + 1), order);
        if (depth == 0) return;
        --depth;
        low = stack[depth].low;
        high = stack[depth].high;
    }
}

KeyType key_type(int32_t flags, int32_t* width) {
    const int32_t types[] = {KEY_WORD1, KEY_WORD2, KEY_WORD4, KEY_FLOAT8};
    for (int32_t type : types) {
        if (flags & type) {
            *width = type;
            return type == KEY_FLOAT8 ? KeyType::Float : KeyType::Word;
        }
    }
    return KeyType::Text;
}

// BinarySort(handle, record size, key offset, key size, flags): sorts the
// whole records; bytes after the last one stay where they are.
BUILTIN(bin_sort) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    const int32_t flags = args[5].v.integer;
    int32_t width = args[4].v.integer;
    const KeyType type = key_type(flags, &width);
    RecordLayout layout{};
    if (!read_layout(st, b, args[2].v.integer, args[3].v.integer, width, &layout)) return;
    const size_t n = layout.records, record = static_cast<size_t>(layout.record);
    // Text keys are copied NUL-padded to a multiple of four, at least one NUL.
    const size_t text_bytes = (static_cast<size_t>(width) + 4) & ~static_cast<size_t>(3);
    // A sort key takes a few bytes a character; its terminator is a NUL.
    const size_t key_bytes = type == KeyType::Text ? 6 * static_cast<size_t>(width) + 16 : 0;
    ScratchBlock entries, texts, sort_keys, work;
    if (!entries.allocate(st, n * sizeof(SortEntry), Err::BinaryHashAllocFailed) ||
        (type == KeyType::Text && !texts.allocate(st, n * text_bytes, Err::BinaryHashAllocFailed)) ||
        (type == KeyType::Text && !sort_keys.allocate(st, n * key_bytes, Err::BinaryHashAllocFailed)) ||
        !work.allocate(st, b->size, Err::BinaryHashAllocFailed))
        return;
    SortEntry* e = reinterpret_cast<SortEntry*>(entries.data());
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* r = b->data + i * record;
        const uint8_t* key = r + layout.key_offset;
        e[i].record = r;
        if (type == KeyType::Float) {
            memcpy(&e[i].key.real, key, 8);
        } else if (type == KeyType::Word) {
            uint32_t word = 0;
            memcpy(&word, key, static_cast<size_t>(width));
            e[i].key.word = word;
        } else {
            char* copy = reinterpret_cast<char*>(texts.data() + i * text_bytes);
            memcpy(copy, key, static_cast<size_t>(width));
            e[i].key.text = copy;
            uint8_t* sort_key = sort_keys.data() + i * key_bytes;
            LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, copy, -1,
                         reinterpret_cast<char*>(sort_key), static_cast<int>(key_bytes - 1));
            e[i].sort_key = sort_key;
        }
    }
    quick_sort(e, n, KeyOrder{type, (flags & SORT_DESCENDING) != 0});
    uint8_t* out = work.data();
    for (size_t i = 0; i < n; ++i) memcpy(out + i * record, e[i].record, record);
    memcpy(out + n * record, b->data + n * record, b->size - n * record);
    memcpy(b->data, out, b->size);
    extend_eod(b, static_cast<int64_t>(n * record));
    result->v.integer = 1;
}

// ------------------------------------------------------------------ BinaryHashRec

// h = c + 2h over the key's bytes taken as signed 8-bit numbers.
uint32_t key_hash(Span<char> key) {
    uint32_t h = 0;
    for (size_t i = 0; i < key.n; ++i) h = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(key.p[i]))) + 2 * h;
    return h;
}

// Whether the record's key field, read as text of at most key size bytes,
// equals the key ignoring case.
bool key_matches(const uint8_t* field, size_t key_size, Span<char> key) {
    const size_t length = strnlen(reinterpret_cast<const char*>(field), key_size);
    return length == key.n && CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const char*>(field),
                                             static_cast<int>(length), key.p, static_cast<int>(key.n)) == CSTR_EQUAL;
}

// BinaryHashRec(handle, record size, key offset, key size, key): the offset
// of the key's record, which is claimed when the key is new.
BUILTIN(bin_hash_rec) {
    BinaryBufferEntry* b = binary_buffer(st, args[1].v.integer);
    if (!b) return;
    RecordLayout layout{};
    if (!read_layout(st, b, args[2].v.integer, args[3].v.integer, args[4].v.integer, &layout)) return;
    const Span<char> key = arg_span<char>(st, args[5]);
    if (key.n == 0) return static_cast<void>(raise(st, Err::BinaryHashNoKey));
    const size_t key_size = static_cast<size_t>(layout.key_size);
    if (key.n > key_size) return static_cast<void>(raise(st, Err::BinaryHashKeyTooLarge));
    const uint32_t n = layout.records;
    const uint32_t start = n == 1 ? 0 : key_hash(key) % (n - 1);
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t index = (start + k) % n;
        const size_t offset = static_cast<size_t>(index) * static_cast<size_t>(layout.record);
        uint8_t* field = b->data + offset + layout.key_offset;
        if (field[0] == 0) {
            memcpy(field, key.p, key.n);
            if (key.n < key_size) field[key.n] = 0;
        } else if (!key_matches(field, key_size, key)) {
            continue;
        }
        b->eod = b->size;
        result->v.integer = static_cast<int32_t>(offset);
        return;
    }
    raise(st, Err::BinaryHashFull);
}

}  // namespace

constexpr BuiltinRow kBinaryRecordBuiltins[] = {
    BUILTIN_ROW("binaryhashrec", bin_hash_rec),
    BUILTIN_ROW("binarysort", bin_sort),
};
constexpr size_t kBinaryRecordBuiltinCount = sizeof(kBinaryRecordBuiltins) / sizeof(kBinaryRecordBuiltins[0]);
