// Additional error information: hints and details collected for the error
// that is about to be reported.
#pragma once

struct EngineState;

// At most this many characters are kept; later texts are cut to fit.
constexpr unsigned ERROR_INFO_MAX_CHARS = 1024;

// Appends a text; every text after the first is preceded by a separator line.
void AddErrorInfo(EngineState* st, const char* text);
// The collected text, "" when there is none.
const char* error_info_text(EngineState* st);
// Discards the collected text (after each report and at shutdown).
void free_error_info(EngineState* st);
