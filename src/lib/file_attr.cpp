// Attribute strings of FileAttrSet, DirAttrSet and the copy and move
// variants that apply them.
#include "lib/file_attr.h"

DWORD apply_attribute_letters(DWORD current, const char* letters) {
    for (const char* p = letters; *p; ++p) {
        DWORD bit = 0;
        switch (*p | 0x20) {
            case 'r': bit = FILE_ATTRIBUTE_READONLY; break;
            case 'a': bit = FILE_ATTRIBUTE_ARCHIVE; break;
            case 's': bit = FILE_ATTRIBUTE_SYSTEM; break;
            case 'h': bit = FILE_ATTRIBUTE_HIDDEN; break;
            default: continue;
        }
        if (*p >= 'A' && *p <= 'Z') current |= bit;
        else current &= ~bit;
    }
    return current;
}

bool set_attribute_letters(const wchar_t* path, const char* letters) {
    const DWORD current = GetFileAttributesW(path);
    if (current == INVALID_FILE_ATTRIBUTES) return false;
    DWORD wanted = apply_attribute_letters(current, letters) & ~FILE_ATTRIBUTE_DIRECTORY;
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(path, wanted) != 0;
}

void attribute_text(DWORD attributes, char out[5]) {
    out[0] = (attributes & FILE_ATTRIBUTE_READONLY) ? 'R' : '-';
    out[1] = (attributes & FILE_ATTRIBUTE_ARCHIVE) ? 'A' : '-';
    out[2] = (attributes & FILE_ATTRIBUTE_SYSTEM) ? 'S' : '-';
    out[3] = (attributes & FILE_ATTRIBUTE_HIDDEN) ? 'H' : '-';
    out[4] = 0;
}
