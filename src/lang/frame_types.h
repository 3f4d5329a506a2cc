// The types of structure-stack frames (StructureFrame::type). A frame that a
// keyword opens carries that keyword's id, so that the tracebacks can name it
// from the keyword table; the other frames take numbers above that table.
#pragma once

#include <stdint.h>
#include "lang/keyword_ids.h"

enum FrameType : uint16_t {
    FRAME_IF = 10001,
    FRAME_ELSE = 10002,
    FRAME_WHILE = keyword_id("while"),
    FRAME_FOR = keyword_id("for"),
    FRAME_FOREACH = keyword_id("foreach"),
    FRAME_SWITCH = keyword_id("switch"),
    FRAME_GOSUB_FALSE = 29000,  // GoSub frames record the last-If result
    FRAME_GOSUB_TRUE = 29001,
    FRAME_GOSUB_NONE = 29003,
    FRAME_CALL = keyword_id("call"),
    FRAME_FUNCTION = 29500,
};

// The GoSub frame type that records the last-If result (0, 1 or none), for
// Return to give back.
inline uint16_t gosub_frame_type(int32_t last_if) {
    if (last_if == 0) return FRAME_GOSUB_FALSE;
    return last_if == 1 ? FRAME_GOSUB_TRUE : FRAME_GOSUB_NONE;
}
