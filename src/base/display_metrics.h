// Measurements of the display that the engine keeps per state: the metrics
// of the fixed system font and the bottom edge of a default-placed window.
// Both are taken on first use, not at initialisation: taking them loads the
// display driver and connects to the display, which costs more than the
// whole start-up of a script that never shows a window.
#pragma once

#include <windows.h>
#include "base/engine_state.h"

// The text metrics of the stock fixed system font on a DISPLAY context. A
// zero height in the state means not measured yet (a real font has one).
const TEXTMETRICA& system_font_metrics(EngineState* st);
// The default vertical position of the windows the engine places. Zero in
// the state means not measured yet: a default-placed window never ends at
// the top edge, so zero is only ever a failed measurement, tried again.
int default_window_bottom(EngineState* st);
// Drops both measurements; the next use takes them anew.
void forget_system_font(EngineState* st);
void forget_default_window_bottom(EngineState* st);
