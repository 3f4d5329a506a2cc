// Raising numbered errors into the state's error word.
#include "base/errors.h"

#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/messages.h"

bool raise(EngineState* st, Err error) {
    if (st->error == 0) st->error = static_cast<uint16_t>(error);
    return false;
}

bool raise_hint(EngineState* st, Err error, Err hint) {
    bool first = st->error == 0;
    raise(st, error);
    if (first) {
        char text[LINE_BUFFER_BYTES];
        message_text(st, static_cast<int>(hint), text, sizeof text);
        AddErrorInfo(st, text);
    }
    return false;
}
