// Built-in functions of the error family: ErrorMode, LastError, ErrorEvent.
#include <windows.h>

#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/error_driver.h"
#include "lang/trace.h"
#include "lib/builtins.h"

namespace {

// ErrorMode(mode) -> previous mode; 0 @OFF, 1 @CANCEL, anything else @NOTIFY.
BUILTIN(err_error_mode) {
    result->v.integer = st->error_mode;
    const int32_t mode = args[1].v.integer;
    st->error_mode = mode == ERRMODE_OFF ? ERRMODE_OFF : mode == ERRMODE_CANCEL ? ERRMODE_CANCEL : ERRMODE_NOTIFY;
    TraceRecord(st, TRACE_RECORD_ERROR_MODE, 0);
}

// The extender and already-reported codes stand for the indirect value;
// user-defined events are stored as their own code already.
bool last_error_is_indirect(int32_t error) {
    return error == static_cast<int32_t>(Err::ExtenderMinorError) ||
           error == static_cast<int32_t>(Err::ExtenderModerateError) ||
           error == static_cast<int32_t>(Err::ExtenderSevereError) ||
           (error >= TERMINATE_QUIET && error <= ERROR_REPORTED_BY_EVENT);
}

// LastError() -> the last error number, once: reading clears it.
BUILTIN(err_last_error) {
    const int32_t error = st->last_error;
    result->v.integer = last_error_is_indirect(error) ? st->indirect_error : error;
    st->last_error = 0;
    st->indirect_error = 0;
}

// ErrorEvent(severity, code, text)
BUILTIN(err_error_event) {
    const char* text = value_text(st, args[3].v);
    raise_error_event(st, args[1].v.integer, args[2].v.integer, text ? text : "");
}

}  // namespace

constexpr BuiltinRow kErrorBuiltins[] = {
    BUILTIN_ROW("errorevent", err_error_event),
    BUILTIN_ROW("errormode", err_error_mode),
    BUILTIN_ROW("lasterror", err_last_error),
};
constexpr size_t kErrorBuiltinCount = sizeof(kErrorBuiltins) / sizeof(kErrorBuiltins[0]);
