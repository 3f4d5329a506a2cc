// The pending floating-point fault word and its hand-over to the error word.
#include "lang/fpfault.h"

#include <stdint.h>
#include "base/errors.h"

volatile LONG g_pending_fp_error = 0;

bool take_fp_fault(EngineState* st) {
    // Checked on every float conversion: a plain read first keeps the common
    // path free of the interlocked exchange.
    if (g_pending_fp_error == 0) return false;
    LONG error = InterlockedExchange(&g_pending_fp_error, 0);
    if (error == 0) return false;
    raise(st, static_cast<uint16_t>(error));
    return true;
}
