// The keystroke injector: turns parsed keys into synthetic key events for
// whichever window has the keyboard focus.
#pragma once

#include <stdint.h>
#include "lib/key_string.h"

struct EngineState;

// One key event: down, or up when `up` is set.
void inject_key_event(EngineState* st, uint8_t vk, bool up);

// Presses and releases `key` key.count times, with the modifiers it needs
// held around each press.
void send_key_press(EngineState* st, const KeyPress& key);

// Sends a whole key string. A malformed element raises 2001 before any of
// it is sent; the keys before it stay sent.
[[nodiscard]] bool send_key_string(EngineState* st, const char* text);

// Parses a key string of exactly one key (modifiers included), as the key
// waits and lock-key functions take it; false when it is not one key.
bool parse_single_key(const char* text, KeyPress* key);
