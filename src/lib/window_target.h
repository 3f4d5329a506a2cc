// The window arguments of the keystroke, menu and mouse functions: a
// top-level window by window name or id, a child window of it by title or
// class, and bringing a window to the front before keys go to it.
#pragma once

#include <windows.h>

struct EngineState;

// The top-level window that `name` names (window-name rules, or a window
// id); null when there is none.
HWND find_top_window(EngineState* st, const char* name);

// The first descendant of `parent`, in the order of the platform's child
// enumeration, whose title matches `name` by the window-name rules, or
// else whose class name equals it (ignoring case); null when none.
HWND find_child_window(EngineState* st, HWND parent, const char* name);

// Makes `window` the foreground window and waits until it is (a short
// while at most), so that keys sent next reach it.
void bring_to_front(EngineState* st, HWND window);

// Gives the keyboard focus to `child`, a window of another thread, by
// sharing that thread's input state for the call.
void focus_child(HWND child);
