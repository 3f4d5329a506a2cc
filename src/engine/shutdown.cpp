// Releases what an engine state holds at shutdown. Each subsystem that
// acquires resources adds its release here.
#include "engine/shutdown.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "lang/functions.h"
#include "lang/pump.h"
#include "lang/token_cache.h"
#include "lang/value.h"
#include "lib/binary_buffers.h"
#include "lib/file_table.h"

namespace {

void free_loaded_dlls(EngineState* st) {
    for (HMODULE& module : st->dll_modules) {
        if (module) FreeLibrary(module);
        module = nullptr;
    }
    st->dll_count = 0;
}

// Arrays and COM objects held by the main table's variables; texts live in
// the host's heap region and go with it.
void release_held_values(EngineState* st) {
    const VariableScope& main = st->scopes[0];
    if (!main.handle) return;
    auto* slots = static_cast<VariableSlot*>(GlobalLock(main.handle));
    if (!slots) return;
    for (uint16_t i = 1; i < main.used && i < main.capacity; ++i) {
        if (slots[i].v.flags & (VF_ARRAY | VF_VARIANT))
            ReleaseValue(st, &slots[i].v, RK_SLOT, 0);
    }
    GlobalUnlock(main.handle);
}

}  // namespace

void release_engine_resources(EngineState* st) {
    free_loaded_dlls(st);
    release_held_values(st);
    for (HMODULE& module : st->extender_modules) {
        if (module) FreeLibrary(module);
        module = nullptr;
    }
    st->extender_count = 0;
    release_file_slots(st);
    free_binary_buffers(st);
    free_spare_blocks(st->spare_tables);
    free_spare_blocks(st->spare_caller_states);
    free_spare_blocks(st->spare_lines);
    free_token_cache(st);
    (void)release_functions(st);  // bodies and descriptor blocks
    free_error_info(st);
    st->cursor = st->arrow_cursor;
    for (int i = 0; i < 5; ++i) PumpMessages(st);
}
