// Machinery shared by the window function files: a name argument resolved
// in the form of the call, a window's title as a result, showing a window
// and bringing one to the foreground.
#pragma once

#include <windows.h>
#include "base/error_numbers.h"
#include "lang/value.h"

struct EngineState;

// The window and mouse functions measure the screen (or a parent's client
// area) in this many units across and down, whatever its pixels.
constexpr int32_t VIRTUAL_UNITS = 1000;

// Virtual units to pixels on a side `size` pixels long, truncated.
inline int32_t units_to_pixels(int32_t units, int32_t size) {
    return static_cast<int32_t>(static_cast<int64_t>(units) * size / VIRTUAL_UNITS);
}

// Whether a text argument holds wide text: window-name arguments arrive
// wide on NT-family systems and as ANSI text elsewhere, and the call reads
// and compares titles in that form.
inline bool text_is_wide(const Value& arg) { return (arg.v.flags & VF_UNICODE) != 0; }

// Calls Worker<wchar_t> or Worker<char> (see TEXT_WORKER) by the form of
// the first argument, a window name.
#define NAME_TWIN(worker)                                                                   \
    [](EngineState* st, uint16_t, int count, Value* result, Value* args, bool) {            \
        if (text_is_wide(args[1])) worker<wchar_t>(st, count, result, args);                \
        else worker<char>(st, count, result, args);                                         \
    }

// The window that argument `arg` names; null when none.
HWND named_window(EngineState* st, const Value& arg);
// The same, raising `not_found` when no window matches.
HWND named_window_or_raise(EngineState* st, const Value& arg, Err not_found);

// The window's title (or, with `as_id`, its window id) as the result, in the
// form of the call.
bool window_text_result(EngineState* st, Value* result, HWND window, bool wide, bool as_id);

// Shows `window` with the ShowWindow command `command`. A window of another
// thread is shown asynchronously, so that a hung program cannot stop the
// script, and then given up to five seconds (a busy machine is slow) to reach
// the new state.
void show_window_settled(HWND window, int command);

// Brings `window` to the foreground by the method of IntControl 61.
void bring_to_front(EngineState* st, HWND window);

// The after-window delay (IntControl 70's second delay) that the waits add
// once a window has appeared; pumps while it waits.
void wait_after_window(EngineState* st);
