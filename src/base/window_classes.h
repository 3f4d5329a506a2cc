// The engine's window classes, registered once per process.
#pragma once

#include <windows.h>

constexpr const char* CLASS_NOTIFY = "tq8wcmmn";
constexpr const wchar_t* CLASS_NOTIFY_WIDE = L"tq8wcmmn";
constexpr const char* CLASS_DIALOG = "tq9wcdlg";
constexpr const char* CLASS_DIALOG2 = "tq0wcdl2";
constexpr const char* CLASS_CONTROL_HOST = "tq0wcdl3";

// Registers the classes on the first call in the process; later calls only
// answer. Call it before creating a window of one of these classes. It is
// not done at initialisation because the first registration of a process
// makes Wine bring up the desktop and the display driver, which a script
// that shows no window never needs. False when a class could not be
// registered for a reason other than already existing.
bool ensure_window_classes();
// The bottom edge of a default-placed window, used as the default vertical
// position of the windows the engine places.
int measure_default_window_bottom();
