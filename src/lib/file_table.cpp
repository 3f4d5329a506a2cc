// The FileOpen slot table: lookup by handle and release.
#include "lib/file_table.h"

FileEntry* find_file_slot(EngineState* st, int32_t number) {
    if (number == 0) return nullptr;
    for (FileEntry& slot : st->files)
        if (slot.handle && file_handle_number(slot.handle) == number) return &slot;
    return nullptr;
}

FileEntry* free_file_slot(EngineState* st) {
    for (FileEntry& slot : st->files)
        if (!slot.handle) return &slot;
    return nullptr;
}

void close_file_slot(FileEntry* slot) {
    if (slot->handle && slot->handle != INVALID_HANDLE_VALUE) CloseHandle(slot->handle);
    if (slot->buffer) GlobalFree(slot->buffer);
    *slot = FileEntry{};
}

void release_file_slots(EngineState* st) {
    for (FileEntry& slot : st->files) close_file_slot(&slot);
}
