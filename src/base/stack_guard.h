// The machine-stack guard: scripts nest by recursion (expressions, single-
// line If, Execute, functions, Call), so every recursive path compares the
// stack pointer with a floor taken from the stack the running thread really
// has, and stops with a numbered error long before the thread would die.
#pragma once

#include <stdint.h>
#include "base/engine_state.h"
#include "base/errors.h"

// The floor for the calling thread: the bottom of its stack reservation
// plus a reserve for the deepest call that runs between two checks (the
// error report, system dialogs, COM). The host chooses the thread, so the
// size is measured, never assumed.
uintptr_t thread_stack_floor();

// One pointer comparison: true while the caller's frame lies above the floor.
inline bool stack_has_room(const EngineState* st) {
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) > st->stack_floor;
}

// Sets the floor of the calling thread for the duration of one entry and
// puts back the one before: a host may enter from another thread while a
// script runs.
class StackFloorScope {
public:
    explicit StackFloorScope(EngineState* st) : st_(st) {
        if (!st_) return;
        saved_ = st_->stack_floor;
        st_->stack_floor = thread_stack_floor();
    }
    ~StackFloorScope() {
        if (st_) st_->stack_floor = saved_;
    }
    StackFloorScope(const StackFloorScope&) = delete;
    StackFloorScope& operator=(const StackFloorScope&) = delete;

private:
    EngineState* st_;
    uintptr_t saved_ = 0;
};

// One run (a script, a Call, a function body) nests at most this deep:
// every statement, parenthesis, prefix, single-line If and Execute counts
// one level, a call eight (it takes that much more stack). A line of 2048
// characters holds a thousand parentheses; a run nested to the limit takes
// about 200 KB of stack on Win64, so the runner's thread holds a hundred of
// them, and the stack guard still stops a host's smaller thread in time.
constexpr uint16_t NESTING_MAX = 1024;

// Counts one level of nesting for as long as it lives: 3061 past the
// limit, 3353 when the thread's stack runs short.
class NestingLevel {
public:
    explicit NestingLevel(EngineState* st) : st_(st) {
        if (st->expression_depth >= NESTING_MAX) {
            raise(st, Err::IllegalSyntax);
        } else if (!stack_has_room(st)) {
            raise(st, Err::StructNestingTooDeep);
        } else {
            ++st->expression_depth;
            entered_ = true;
        }
    }
    ~NestingLevel() {
        if (entered_) --st_->expression_depth;
    }
    NestingLevel(const NestingLevel&) = delete;
    NestingLevel& operator=(const NestingLevel&) = delete;
    bool entered() const { return entered_; }

private:
    EngineState* st_;
    bool entered_ = false;
};
