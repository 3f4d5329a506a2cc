// Raising numbered errors: a failing operation stores its number in the
// state's error word and returns false; callers test and return.
#pragma once

#include <stdint.h>
#include "base/error_numbers.h"

struct EngineState;

// Stores `error` unless an error is already pending; always returns false so
// that a handler can write `return raise(st, Err::X);`.
bool raise(EngineState* st, Err error);
// The same, and appends the hint's message to the additional error text.
bool raise_hint(EngineState* st, Err error, Err hint);
inline bool raise(EngineState* st, uint16_t number) { return raise(st, static_cast<Err>(number)); }

// Propagates a failure of a [[nodiscard]] bool call.
#define CHECK(expr)            \
    do {                       \
        if (!(expr)) return false; \
    } while (0)

// Sets the pending error aside for one scope, so that a lookup, a hook or the
// line locator running there neither sees it nor leaves its own error behind:
// the error word is cleared on entry (or, with AsIs, left standing so that
// `raise` stores nothing new) and put back when the scope ends. Pass
// `st->error`; the state block need not be complete where this is used.
class PendingErrorAside {
public:
    enum Entry { Clear, AsIs };
    explicit PendingErrorAside(uint16_t& error_word, Entry entry = Clear)
        : word_(error_word), pending_(error_word) {
        if (entry == Clear) word_ = 0;
    }
    ~PendingErrorAside() {
        if (restore_) word_ = pending_;
    }
    PendingErrorAside(const PendingErrorAside&) = delete;
    PendingErrorAside& operator=(const PendingErrorAside&) = delete;

    // The error that was pending when the scope began.
    uint16_t pending() const { return pending_; }
    // The word is not put back: what the scope left there (a stop request,
    // or no error once the pending one has been dealt with) stands.
    void drop_pending() { restore_ = false; }

private:
    uint16_t& word_;
    const uint16_t pending_;
    bool restore_ = true;
};
