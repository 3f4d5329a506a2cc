// Cursors loaded on first use; see cursors.h.
#include "base/cursors.h"

HCURSOR engine_cursor(EngineState* st, EngineCursor which) {
    HCURSOR* slot = which == EngineCursor::Wait ? &st->wait_cursor : &st->arrow_cursor;
    if (!*slot) *slot = LoadCursorA(nullptr, which == EngineCursor::Wait ? IDC_WAIT : IDC_ARROW);
    return *slot;
}
