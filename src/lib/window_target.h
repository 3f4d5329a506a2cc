// The window arguments of the keystroke, menu and mouse functions beyond
// plain window names (lib/window_name.h): a child window by title or class
// name, and the keyboard focus in a window of another thread.
#pragma once

#include <windows.h>

struct EngineState;

// The child of `parent` (any descendant) that `name` names: by the
// window-name rules, or else the first whose class name equals `name`
// ignoring case ("Edit", "Button"); null when none.
HWND find_target_child(const EngineState* st, HWND parent, const char* name);

// Gives the keyboard focus to `child`, a window of another thread, by
// sharing that thread's input state for the call.
void focus_child(HWND child);
