// Wiring the floors together: every table of calls that a lower floor makes
// into a higher one is filled here, from one list.
#pragma once

// Idempotent; called when the DLL is loaded and by test programs at start.
void install_engine_hooks();
