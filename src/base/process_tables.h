// Start-up work on the process-wide tables.
#pragma once

#include "base/engine_state.h"

void detect_operating_system();
void seed_random();
// A random permutation of 0..255 and its inverse, used to hold script text.
void build_byte_permutation();

// The words that name menu entries in messages (" popup menu", " menu item").
extern char MenuWordPopup[64];
extern char MenuWordItem[64];
void load_menu_words(EngineState* st);
