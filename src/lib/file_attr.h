// Attribute strings ("RASH" sets, "rash" clears, read left to right),
// shared by the file and directory functions.
#pragma once

#include <windows.h>
#include <stdint.h>

// The attributes that `letters` makes of `current`.
DWORD apply_attribute_letters(DWORD current, const char* letters);
// Applies an attribute string to a file or directory; false when it cannot
// be found or changed.
bool set_attribute_letters(const wchar_t* path, const char* letters);
// "RASH" with "-" for each attribute that is off (five bytes with the terminator).
void attribute_text(DWORD attributes, char out[5]);
