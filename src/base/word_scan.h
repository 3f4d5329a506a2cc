// Word-at-a-time scanning of texts, eight bytes per step: a text's length
// and the lanes of a word that hold a given unit. The system library's
// scans go a byte at a time, which long texts feel.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// Word-at-a-time search: a lane of `word ^ pattern` is zero exactly where
// the unit equals the one searched for.
template <typename C>
struct Lanes;
template <>
struct Lanes<char> {
    static constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
};
template <>
struct Lanes<wchar_t> {
    static constexpr uint64_t ones = 0x0001000100010001ull, highs = 0x8000800080008000ull;
};

template <typename C>
inline bool has_zero_lane(uint64_t word) {
    return ((word - Lanes<C>::ones) & ~word & Lanes<C>::highs) != 0;
}

// Exactly the zero lanes of a word, as their high bits.
template <typename C>
inline uint64_t zero_lanes(uint64_t word) {
    const uint64_t low = ~Lanes<C>::highs;
    return ~(((word & low) + low) | word) & Lanes<C>::highs;
}

// How many lanes of a zero_lanes() result are set: each lane's high bit
// moved to its low bit, and all lanes summed into the top lane by one
// multiplication (no population-count instruction is assumed).
template <typename C>
inline size_t count_lanes(uint64_t high_bits) {
    constexpr unsigned lane_bits = 8 * sizeof(C);
    return static_cast<size_t>(((high_bits >> (lane_bits - 1)) * Lanes<C>::ones) >> (64 - lane_bits));
}

// Aligned words never cross into an unmapped page past the terminator.
template <typename C>
size_t length_words(const C* text) {
    const C* p = text;
    while (reinterpret_cast<uintptr_t>(p) & 7) {
        if (!*p) return static_cast<size_t>(p - text);
        ++p;
    }
    for (;; p += 8 / sizeof(C)) {
        uint64_t word;
        memcpy(&word, p, 8);
        if (has_zero_lane<C>(word)) break;
    }
    while (*p) ++p;
    return static_cast<size_t>(p - text);
}

inline size_t text_length(const char* p) { return length_words(p); }
inline size_t text_length(const wchar_t* p) { return length_words(p); }
