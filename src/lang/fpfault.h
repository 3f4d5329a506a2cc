// The pending floating-point fault: recorded by the math-error hook, raised
// as the current error by the next conversion or arithmetic step.
#pragma once

#include <windows.h>

struct EngineState;

// Error number of the last floating-point fault, 0 when none is pending.
// Process-wide because the C library's hook has no engine state to hand.
extern volatile LONG g_pending_fp_error;

inline void record_fp_fault(LONG error) { g_pending_fp_error = error; }

// Raises a pending fault as the current error and clears it; true when one
// was pending (the caller then fails).
bool take_fp_fault(EngineState* st);
