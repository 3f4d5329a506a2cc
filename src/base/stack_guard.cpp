// Measures the calling thread's stack for the nesting guard.
#include "base/stack_guard.h"

#include <windows.h>

namespace {

// Kept free below the floor. Between two checks the engine may still call
// into the system (message and dialog boxes of the error path, common
// dialogs, COM servers), which take up to a few hundred kilobytes.
constexpr uintptr_t kReserveBytes = 384 * 1024;

}  // namespace

uintptr_t thread_stack_floor() {
    // The stack is one reservation: the region holding a local variable
    // starts at its lowest address.
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(&region, &region, sizeof region) == 0) return 0;
    const uintptr_t bottom = reinterpret_cast<uintptr_t>(region.AllocationBase);
    const uintptr_t here = reinterpret_cast<uintptr_t>(&region);
    if (here <= bottom) return 0;
    // What is left below this entry; a small stack keeps a quarter of it
    // free instead.
    const uintptr_t left = here - bottom;
    const uintptr_t reserve = left / 2 > kReserveBytes ? kReserveBytes : left / 4;
    return bottom + reserve;
}
