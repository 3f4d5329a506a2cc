// Additional error information: one 1025-byte global block per engine,
// created on first use and freed after each report.
#include "base/error_info.h"

#include <string.h>
#include <windows.h>
#include "base/engine_state.h"

namespace {

constexpr char kSeparator[] = "\n\n----------------------------------------\n";

// The block is fixed (GPTR), so the address stays valid between entries
// without the handle being kept locked.
char* error_info_block(EngineState* st, bool create) {
    if (!st->error_info && create) st->error_info = GlobalAlloc(GPTR, ERROR_INFO_MAX_CHARS + 1);
    if (!st->error_info) return nullptr;
    char* block = static_cast<char*>(GlobalLock(st->error_info));
    GlobalUnlock(st->error_info);
    return block;
}

// Appends as much of text as fits; returns the new length.
size_t append_cut(char* block, size_t used, const char* text) {
    size_t room = ERROR_INFO_MAX_CHARS - used;
    size_t length = strlen(text);
    if (length > room) length = room;
    memcpy(block + used, text, length);
    block[used + length] = '\0';
    return used + length;
}

}  // namespace

void AddErrorInfo(EngineState* st, const char* text) {
    char* block = error_info_block(st, true);
    if (!block || !text) return;
    size_t used = strlen(block);
    if (used) used = append_cut(block, used, kSeparator);
    append_cut(block, used, text);
}

const char* error_info_text(EngineState* st) {
    const char* block = error_info_block(st, false);
    return block ? block : "";
}

void free_error_info(EngineState* st) {
    if (!st->error_info) return;
    GlobalFree(st->error_info);
    st->error_info = nullptr;
}
