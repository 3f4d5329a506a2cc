// The IntControl request table as the documentation generator reads it.
#pragma once

#include <stdint.h>

// The one-line description of request `number`, or null when no row
// handles it (such requests are offered to the host).
const char* intcontrol_request_summary(int32_t number);
