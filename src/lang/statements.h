// The statement executor: structure keywords, statement-like keywords and
// plain statements, over the structure stack.
#pragma once

#include <stdint.h>
#include "engine/script_buffer.h"

struct EngineState;
struct Value;

// Runs one logical line. statement_offset skips a leading label; the next
// position is where the run loop reads on (jumps write it). Returns 1 to go
// on, 0 when an error (or terminating code) is set, -1 when Return ended a
// Call level, a function or the script.
int ExecuteStatement(EngineState* st, Value* result, char* line, uint32_t statement_offset,
                     uint32_t* next_position, uint32_t line_position, const ScriptBuffer& buffer,
                     bool no_jump_cache);

// Pushes a frame (3353 when the stack would exceed 100 frames).
[[nodiscard]] bool push_frame(EngineState* st, const StructureFrame& frame);
inline StructureFrame* top_frame(EngineState* st) {
    return st->structure_depth > 0 ? &st->frames[st->structure_depth - 1] : nullptr;
}
// A statement is skipped while the top frame's state is non-zero.
inline bool region_skipped(const EngineState* st) {
    return st->structure_depth > 0 && st->frames[st->structure_depth - 1].state != FS_RUN;
}

// Finds ":label" in the buffer; for_handler: no jump cache (error and cancel
// handlers). Sets *target to the label line's position (3033 when missing).
[[nodiscard]] bool find_label(EngineState* st, const char* label, const ScriptBuffer& buffer,
                              uint32_t* target);
