// Marks the engine's exported entries: C linkage, C calling convention,
// undecorated names on both targets.
#pragma once

#define KESTR_API extern "C" __declspec(dllexport)
