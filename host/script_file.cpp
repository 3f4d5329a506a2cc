// Loads a script file into a GlobalAlloc'd block for ProcessDaBatBuffer.
#include "script_file.h"

#include <stdio.h>

namespace {

constexpr SIZE_T kTerminatorBytes = 2;

bool read_exactly(HANDLE file, char* into, DWORD size) {
    DWORD got = 0;
    return ReadFile(file, into, size, &got, nullptr) && got == size;
}

}  // namespace

HGLOBAL read_script_file(const char* path, char* why, size_t why_size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        snprintf(why, why_size, "cannot open %s (error %lu)", path, GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size;
    HGLOBAL block = nullptr;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFF0) {
        snprintf(why, why_size, "%s is too large", path);
    } else if (!(block = GlobalAlloc(GHND, static_cast<SIZE_T>(size.QuadPart) + kTerminatorBytes))) {
        snprintf(why, why_size, "no memory for %s", path);
    } else {
        char* text = static_cast<char*>(GlobalLock(block));
        bool ok = text && read_exactly(file, text, static_cast<DWORD>(size.QuadPart));
        if (text) GlobalUnlock(block);
        if (!ok) {
            snprintf(why, why_size, "cannot read %s (error %lu)", path, GetLastError());
            GlobalFree(block);
            block = nullptr;
        }
    }
    CloseHandle(file);
    return block;
}
