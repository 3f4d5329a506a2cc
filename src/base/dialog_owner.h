// The table that lets a dialog procedure find the engine state behind it.
#pragma once

#include <windows.h>

struct EngineState;

constexpr int DIALOG_OWNER_SLOTS = 100;
// Special `state` arguments of DialogOwnerLookup.
#define DIALOG_OWNER_FIND ((EngineState*)0)
#define DIALOG_OWNER_PING ((EngineState*)1)
#define DIALOG_OWNER_FIND_QUIET ((EngineState*)2)

// Stores (owner of window, state), or finds the state stored for the owner.
EngineState* DialogOwnerLookup(HWND window, EngineState* state);
void clear_dialog_owner_table();
