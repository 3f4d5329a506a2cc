// The overwrite confirmation of FileCopy and FileMove: the per-call mode
// and the FILEWARN dialog (or, in silent mode, its Cancel answer).
#pragma once

#include <windows.h>

struct EngineState;

enum class OverwriteMode { OverwriteAll, Ask, Cancel, NewerAll, OlderAll };

enum class OverwriteAnswer { Proceed, Skip, Cancel };

// Whether `source` may replace the existing `target` under *mode; the
// dialog's All buttons change *mode. Cancel raises 9999.
OverwriteAnswer confirm_overwrite(EngineState* st, OverwriteMode* mode, const wchar_t* source,
                                  const wchar_t* target);
