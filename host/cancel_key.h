// Ctrl+C and Ctrl+Break at the console cancel the running script.
#pragma once

#include <windows.h>
#include "kestr44i.h"

// Installs the console control handler; `engine` is the state block that
// receives the cancel request.
void watch_cancel_keys(HGLOBAL engine, DLLServicesFn services);
