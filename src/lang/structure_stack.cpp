// The structure stack: pushing and popping frames and finding the frame an
// end keyword closes.
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/structures.h"
#include "lang/variables.h"

bool push_frame(EngineState* st, const StructureFrame& frame) {
    // The stack holds exactly STRUCTURE_FRAMES entries, so the frame that
    // would overflow it is refused rather than written past the end.
    if (st->structure_depth >= STRUCTURE_FRAMES) return raise(st, Err::StructNestingTooDeep);
    st->frames[st->structure_depth++] = frame;
    return true;
}

StructureFrame new_frame(const EngineState* st, uint16_t type, uint32_t line_position, HGLOBAL buffer,
                         uint16_t function) {
    StructureFrame frame{};
    frame.type = type;
    frame.line_position = line_position;
    frame.buffer = buffer;
    frame.function = function;
    frame.state = FS_RUN;
    frame.saved_in_loop = static_cast<uint8_t>(st->in_loop != 0);
    frame.collection = NO_SLOT;
    return frame;
}

StructureFrame make_frame(const StatementContext& c, uint16_t type, uint8_t state) {
    StructureFrame frame = new_frame(c.st, type, c.line_position, c.buffer->handle, c.st->current_function);
    frame.state = state;
    return frame;
}

bool push_loop_frame(EngineState* st, const StructureFrame& frame) {
    CHECK(push_frame(st, frame));
    st->in_loop = 1;
    return true;
}

void pop_restoring_in_loop(EngineState* st) {
    StructureFrame* top = top_frame(st);
    if (!top) return;
    st->in_loop = top->saved_in_loop;
    --st->structure_depth;
}

StructureFrame* frame_to_close(EngineState* st, uint16_t type, uint16_t other) {
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_END;
    StructureFrame* top = top_frame(st);
    if (!top) {
        raise(st, Err::EndWithoutMatch);
        return nullptr;
    }
    if (top->type != type && top->type != other) {
        raise(st, Err::EndNoMatch);
        return nullptr;
    }
    return top;
}
