// The statement executor: structure keywords, statement-like keywords and
// plain statements, over the structure stack.
#pragma once

#include <stdint.h>
#include "base/script_buffer.h"
#include "lang/frame_types.h"

struct CachedLineRef;

struct EngineState;
struct Value;

// What running one statement came to. The statement handlers return it as
// an int, so that `return raise(...)` stands for STATEMENT_STOPPED.
enum StatementOutcome : int {
    STATEMENT_RETURNED = -1,  // Return ended a Call level, a function or the script
    STATEMENT_STOPPED = 0,    // an error (or terminating code) is set
    STATEMENT_DONE = 1,       // go on with the next line
};

// Runs one logical line. statement_offset skips a leading label; the next
// position is where the run loop reads on (jumps write it). Returns a
// StatementOutcome.
int ExecuteStatement(EngineState* st, Value* result, char* line, uint32_t statement_offset,
                     uint32_t* next_position, uint32_t line_position, const ScriptBuffer& buffer,
                     bool no_jump_cache, const CachedLineRef& kept);

// The mark that Return leaves in the variable field of the Call or function
// frame it ends (0 = not returned).
constexpr uint16_t FRAME_RETURNED = 1;

// A running frame of `type` opened at `line_position` of `buffer` in
// `function` (NO_FUNCTION for the main script), with no variable and no
// collection; it keeps the in-loop flag for its closing to give back.
StructureFrame new_frame(const EngineState* st, uint16_t type, uint32_t line_position, HGLOBAL buffer,
                         uint16_t function);
// Pushes a frame (3353 when the stack would exceed 100 frames).
[[nodiscard]] bool push_frame(EngineState* st, const StructureFrame& frame);
inline StructureFrame* top_frame(EngineState* st) {
    return st->structure_depth > 0 ? &st->frames[st->structure_depth - 1] : nullptr;
}
// A statement is skipped while the top frame's state is non-zero.
inline bool region_skipped(const EngineState* st) {
    return st->structure_depth > 0 && st->frames[st->structure_depth - 1].state != FS_RUN;
}

// Finds ":label" in the buffer, outside function bodies; never writes the
// jump cache, so error and cancel handlers use it as it is. Sets *target
// to the label line's position (3033 when missing, 3032 when the buffer
// cannot be locked).
[[nodiscard]] bool find_label(EngineState* st, const char* label, const ScriptBuffer& buffer,
                              uint32_t* target);

// ForEach walks collections through these hooks, which the COM layer
// installs when it starts; while they are null nothing can be enumerated
// (1269). Only values carrying a VARIANT are offered to them.
struct CollectionHooks {
    // Turns an evaluated value into the state of an enumeration over it (for
    // example the collection's enumerator). On success `value` owns the
    // VARIANT it holds; on failure the layer's error is set.
    bool (*begin)(EngineState* st, Value* value);
    // Writes the next element into variable slot `variable` of the current
    // table, or sets *found to false when there is none. False with an error.
    bool (*next)(EngineState* st, ValuePayload* enumeration, uint16_t variable, bool* found);
};
extern CollectionHooks g_collection_hooks;
