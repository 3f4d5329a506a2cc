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

// How an error is reported and whether the run can go on.
enum Severity : int { SEVERITY_MODERATE = 0, SEVERITY_MINOR = 1, SEVERITY_SEVERE = 13 };

// Terminating codes: an error number of 9000 or above ends the run quietly.
constexpr uint16_t TERMINATE_EXIT = 9000;
constexpr uint16_t TERMINATE_HOST = 9012;
constexpr uint16_t TERMINATE_QUIET = 9013;
constexpr uint16_t TERMINATE_HOST_REQUEST = 9019;  // IntControl 8 after the host's call
constexpr uint16_t TERMINATE_CANCEL = 9999;
// Codes of 9000 and above that the error driver reads as outcomes.
constexpr uint16_t ERROR_REPORTED_BY_RAISER = 9014;
constexpr uint16_t ERROR_IN_FUNCTION_BODY = 9015;
constexpr uint16_t ERROR_REPORTED_BY_EVENT = 9016;
constexpr uint16_t ERROR_GO_ON = 9998;

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
