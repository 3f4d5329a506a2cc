// The file locator: a name without drive or directory is searched along
// the PATH variable and then the platform's search path; any other name is
// expanded to a full path and must exist. Used by FileExist, FileLocate
// and the DLL calls.
#pragma once

#include "lib/path_text.h"

// The full name of the file `name` stands for; false when none is found.
bool locate_file(const wchar_t* name, PathText* out);
