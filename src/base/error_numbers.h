#pragma once

// Engine message and error numbers, and their built-in (English) texts.
// Both come from messages.def, the same list the string-table resource is
// built from.

#include <cstddef>
#include <cstdint>

enum class Err : uint16_t {
    None = 0,
#define MSG(number, name, text) name = number,
#include "resources/messages.def"
#undef MSG
};

struct MessageText {
    uint16_t number;
    const char* text;
};

// Sorted by number (messages.def is kept sorted).
inline constexpr MessageText kMessageTexts[] = {
#define MSG(number, name, text) {number, text},
#include "resources/messages.def"
#undef MSG
};

inline constexpr std::size_t kMessageCount = sizeof(kMessageTexts) / sizeof(kMessageTexts[0]);

// Built-in text of a message, or nullptr when the number has none.
constexpr const char* BuiltInMessageText(uint16_t number) {
    std::size_t lo = 0;
    std::size_t hi = kMessageCount;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (kMessageTexts[mid].number < number) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return (lo < kMessageCount && kMessageTexts[lo].number == number) ? kMessageTexts[lo].text : nullptr;
}

constexpr const char* BuiltInMessageText(Err err) {
    return BuiltInMessageText(static_cast<uint16_t>(err));
}
