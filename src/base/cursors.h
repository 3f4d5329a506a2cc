// The wait and arrow cursors of a state, loaded when first shown: loading a
// system cursor makes Wine bring up the desktop and the display driver,
// which a host without a window never needs.
#pragma once

#include <windows.h>
#include "base/engine_state.h"

enum class EngineCursor { Wait, Arrow };

HCURSOR engine_cursor(EngineState* st, EngineCursor which);
