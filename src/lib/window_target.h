// The window arguments of the keystroke, menu and mouse functions beyond
// plain window names (lib/window_name.h): a child window by title or class
// name, and bringing a window to the front before keys go to it.
#pragma once

#include <windows.h>

struct EngineState;

// The child of `parent` (any descendant) that `name` names: by the
// window-name rules, or else the first whose class name equals `name`
// ignoring case ("Edit", "Button"); null when none.
HWND find_target_child(const EngineState* st, HWND parent, const char* name);

// Makes `window` the foreground window and waits until it is (a short
// while at most), so that keys sent next reach it.
void bring_to_front(EngineState* st, HWND window);

// Gives the keyboard focus to `child`, a window of another thread, by
// sharing that thread's input state for the call.
void focus_child(HWND child);
