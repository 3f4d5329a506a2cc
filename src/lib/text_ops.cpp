// Character-level text helpers of the string families: the lead-byte and
// upper-case tables, heap results and the growable work buffer.
#include "lib/text_ops.h"

#include <type_traits>
#include "base/errors.h"
#include "base/heap.h"
#include "base/messages.h"

namespace {

// Tables are rebuilt only when the code page changes (ChrSetCodePage).
struct LeadTable {
    UINT code_page = 0xFFFFFFFF;
    bool any = false;
    bool lead[256] = {};
};
LeadTable g_lead;

// Single-byte upper-casing of the system's ANSI code page, and of every
// 16-bit unit, built on first use.
struct UpperTables {
    bool ready = false;
    uint8_t ansi[256];
    bool wide_ready = false;
    wchar_t wide[65536];
};
UpperTables g_upper;

void build_ansi_upper() {
    char bytes[256];
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
    CharUpperBuffA(bytes + 1, 255);
    for (int i = 0; i < 256; ++i) g_upper.ansi[i] = static_cast<uint8_t>(bytes[i]);
    g_upper.ready = true;
}

void build_wide_upper() {
    for (int i = 0; i < 65536; ++i) g_upper.wide[i] = static_cast<wchar_t>(i);
    CharUpperBuffW(g_upper.wide + 1, 65535);
    g_upper.wide_ready = true;
}

template <typename C>
const C* find_unit_words(const C* p, const C* end, C c) {
    using Unit = typename std::conditional<sizeof(C) == 1, uint8_t, uint16_t>::type;
    const uint64_t pattern = Lanes<C>::ones * static_cast<Unit>(c);
    while (p < end && (reinterpret_cast<uintptr_t>(p) & 7)) {
        if (*p == c) return p;
        ++p;
    }
    for (; end - p >= static_cast<ptrdiff_t>(8 / sizeof(C)); p += 8 / sizeof(C)) {
        uint64_t word;
        memcpy(&word, p, 8);
        if (has_zero_lane<C>(word ^ pattern)) break;
    }
    for (; p < end; ++p) {
        if (*p == c) return p;
    }
    return end;
}

template <typename C>
const C* skip_units_words(const C* p, const C* end, C c, size_t k, size_t* seen) {
    using Unit = typename std::conditional<sizeof(C) == 1, uint8_t, uint16_t>::type;
    const uint64_t pattern = Lanes<C>::ones * static_cast<Unit>(c);
    size_t met = 0;
    for (; met < k;) {
        // Whole words whose matches do not reach the k-th are counted at once.
        if (!(reinterpret_cast<uintptr_t>(p) & 7) && end - p >= static_cast<ptrdiff_t>(8 / sizeof(C))) {
            uint64_t word;
            memcpy(&word, p, 8);
            const size_t n = count_lanes<C>(zero_lanes<C>(word ^ pattern));
            if (met + n < k) {
                met += n;
                p += 8 / sizeof(C);
                continue;
            }
        }
        if (p == end) break;
        if (*p++ == c && ++met == k) break;
    }
    *seen = met;
    return p;
}

}  // namespace

const char* find_unit(const char* p, const char* end, char c) { return find_unit_words(p, end, c); }
const wchar_t* find_unit(const wchar_t* p, const wchar_t* end, wchar_t c) { return find_unit_words(p, end, c); }
const char* skip_units(const char* p, const char* end, char c, size_t k, size_t* seen) {
    return skip_units_words(p, end, c, k, seen);
}
const wchar_t* skip_units(const wchar_t* p, const wchar_t* end, wchar_t c, size_t k, size_t* seen) {
    return skip_units_words(p, end, c, k, seen);
}

template <>
Span<char> arg_span<char>(const EngineState* st, const Value& arg) {
    const char* text = value_text(st, arg.v);
    if (!text) text = "";
    return Span<char>{text, text_length(text)};
}

template <>
Span<wchar_t> arg_span<wchar_t>(const EngineState* st, const Value& arg) {
    const wchar_t* text = value_wtext(st, arg.v);
    if (!text) text = L"";
    return Span<wchar_t>{text, text_length(text)};
}

const bool* lead_bytes(const EngineState* st) {
    if (g_lead.code_page != st->code_page) {
        g_lead.any = false;
        for (int c = 0; c < 256; ++c) {
            g_lead.lead[c] = (c & 0x80) && IsDBCSLeadByteEx(st->code_page, static_cast<BYTE>(c));
            g_lead.any |= g_lead.lead[c];
        }
        g_lead.code_page = st->code_page;
    }
    return g_lead.any ? g_lead.lead : nullptr;
}

// A double-byte pair is compared as a two-byte string by the system, since
// its case partner is not a byte-wise mapping.
bool same_char_nc(const char* a, const char* b, size_t length) {
    if (length == 2) {
        if (a[0] == b[0] && a[1] == b[1]) return true;
        return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, 2, b, 2) == CSTR_EQUAL;
    }
    if (!g_upper.ready) build_ansi_upper();
    return g_upper.ansi[static_cast<uint8_t>(*a)] == g_upper.ansi[static_cast<uint8_t>(*b)];
}

bool same_char_nc(const wchar_t* a, const wchar_t* b, size_t) {
    if (*a == *b) return true;
    if (!g_upper.wide_ready) build_wide_upper();
    return g_upper.wide[static_cast<uint16_t>(*a)] == g_upper.wide[static_cast<uint16_t>(*b)];
}

template <typename C>
C* new_result_text(EngineState* st, Value* result, size_t units) {
    const uint64_t bytes = (static_cast<uint64_t>(units) + 1) * sizeof(C);
    const uint32_t block = bytes > 0x7FFFFFF0u ? 0 : VMalloc(st, static_cast<uint32_t>(bytes));
    if (!block) {
        raise(st, Err::OutOfStringMemory);
        return nullptr;
    }
    if (sizeof(C) == 1) {
        result->v.flags = VF_STRING;
        result->v.handle = block;
    } else {
        result->v.flags = VF_UNICODE;
        result->v.whandle = block;
    }
    C* out = reinterpret_cast<C*>(heap_at(st, block));
    out[units] = 0;
    return out;
}
template char* new_result_text<char>(EngineState*, Value*, size_t);
template wchar_t* new_result_text<wchar_t>(EngineState*, Value*, size_t);

template <typename C>
bool TextBuffer<C>::append(EngineState* st, const C* text, size_t units) {
    if (size_ + units > capacity_) {
        size_t wanted = capacity_ ? capacity_ : 256;
        while (wanted < size_ + units) wanted *= 2;
        HANDLE heap = GetProcessHeap();
        void* grown = data_ ? HeapReAlloc(heap, 0, data_, wanted * sizeof(C)) : HeapAlloc(heap, 0, wanted * sizeof(C));
        if (!grown) return raise(st, Err::AllocFailed);
        data_ = static_cast<C*>(grown);
        capacity_ = wanted;
    }
    if (units) memcpy(data_ + size_, text, units * sizeof(C));
    size_ += units;
    return true;
}
template class TextBuffer<char>;
template class TextBuffer<wchar_t>;
