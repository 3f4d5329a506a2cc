// Window names and window ids: the one routine that turns a script's window
// name into a window handle, shared by the window, keystroke, launching and
// DLL families.
//
// A window name is matched against window titles, case-sensitively:
//   abc    the title begins with abc      abc~   the title is exactly abc
//   ~abc   the title contains abc         ~abc~  the title ends with abc
// A one-character name is a plain prefix. Titles that are empty or exactly
// "WinOldAp" never match. A 16-character text "#WIN$ID#" plus eight
// upper-case hex digits is a window id: it names that handle while the
// window exists. IntControl 46 holds the matching mode: 0 the rules above,
// any other value the same rules ignoring case.
#pragma once

#include <windows.h>
#include <stddef.h>

struct EngineState;

// Characters of a window id, without the terminator.
constexpr size_t WINDOW_ID_CHARS = 16;
// Room for a title as the window functions read it, terminator included.
constexpr size_t WINDOW_TITLE_CHARS = 2048;

// The window a window id names while it exists; null when `name` is no id
// or its window has gone.
HWND window_from_id(const char* name);
HWND window_from_id(const wchar_t* name);

// Whether `title` (of `title_length` units) matches the window name `name`
// (of `name_length` units); `ignore_case` is the non-zero matching mode.
bool window_title_matches(const char* title, size_t title_length, const char* name, size_t name_length,
                          bool ignore_case);
bool window_title_matches(const wchar_t* title, size_t title_length, const wchar_t* name, size_t name_length,
                          bool ignore_case);

// Whether a title is one that names never match and lists never show.
bool window_title_skipped(const char* title);
bool window_title_skipped(const wchar_t* title);

// Resolves a window name: its id's window, or the first top-level window in
// the platform's order (topmost first) whose title matches; null when none.
HWND find_window(const EngineState* st, const char* name);
HWND find_window(const EngineState* st, const wchar_t* name);

// The same among the child windows of `parent` (all descendants, in the
// platform's order); an id names a child only when it is below `parent`.
HWND find_child_window(const EngineState* st, HWND parent, const char* name);
HWND find_child_window(const EngineState* st, HWND parent, const wchar_t* name);

// Writes the id of `window` ("#WIN$ID#%08lX", terminated) to `out`. A handle
// that does not fit in eight hex digits makes no id: the message box
// "Could not convert window handle to a WinId" is shown and false returned.
bool window_id_text(EngineState* st, HWND window, char (&out)[WINDOW_ID_CHARS + 1]);
bool window_id_text(EngineState* st, HWND window, wchar_t (&out)[WINDOW_ID_CHARS + 1]);
