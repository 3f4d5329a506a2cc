// ForEach: the loop over a collection, kept in a hidden variable between
// passes together with the text of the expression it came from.
#include <stdio.h>
#include <string.h>

#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"
#include "lang/charclass.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lang/structures.h"
#include "lang/variables.h"

CollectionHooks g_collection_hooks;

namespace {

// Hidden collection variables; the counter keeps nested loops apart.
constexpr char HIDDEN_NAME_FORMAT[] = "@tempcolvar%u";

struct Expression {
    const char* text;
    size_t length;
};

// "in" and the expression after it, trailing blanks dropped.
bool read_in_clause(EngineState* st, Expression* e) {
    const char* p = skip_line_blanks(st->lexer.read);
    if (!is_word_char(static_cast<uint8_t>(*p))) return raise(st, Err::ForEachBadSyntax);
    get_string_token(st);
    if (st->error) return false;
    const char* word = st->lexer.text;
    if (st->lexer.text_length != 2 || char_lower(word[0]) != 'i' || char_lower(word[1]) != 'n')
        return raise(st, Err::ForEachBadSyntax);
    e->text = skip_line_blanks(st->lexer.read);
    if (ends_statement(*e->text)) return raise(st, Err::ForEachBadSyntax);
    e->length = strlen(e->text);
    while (e->length && (e->text[e->length - 1] == ' ' || e->text[e->length - 1] == '\t')) --e->length;
    return true;
}

// The frame's collection is still there and came from the same text.
bool collection_current(EngineState* st, const StructureFrame& frame, const Expression& e) {
    if (frame.collection == NO_SLOT || frame.collection >= st->table.used) return false;
    const ValuePayload& v = slot_at(st, frame.collection)->v;
    if (!(v.flags & VF_VARIANT)) return false;
    const char* kept = value_text(st, v);
    return kept && strlen(kept) == e.length && memcmp(kept, e.text, e.length) == 0;
}

// Drops the texts an evaluated value may carry beside its VARIANT: the
// hidden variable's text is the expression.
void drop_texts(EngineState* st, ValuePayload* v) {
    if ((v->flags & VF_STRING) && v->handle) VFree(st, static_cast<uint32_t>(v->handle));
    if ((v->flags & VF_UNICODE) && v->whandle) VFree(st, v->whandle);
    v->handle = 0;
    v->whandle = 0;
    v->flags &= ~(VF_STRING | VF_UNICODE);
}

// Moves an enumeration into a new hidden variable with the expression text.
bool keep_collection(EngineState* st, StructureFrame* frame, Value* value, const Expression& e) {
    char name[VARIABLE_NAME_BYTES];
    const int length = snprintf(name, sizeof name, HIDDEN_NAME_FORMAT, ++st->foreach_counter);
    const uint16_t slot = find_or_create_slot(st, name, static_cast<size_t>(length));
    if (slot == NO_SLOT) return false;
    const uint32_t text = heap_copy_text(st, e.text, e.length);
    if (!text) {
        drop_slot(st, slot);
        return raise(st, Err::OutOfStringMemory);
    }
    ValuePayload& kept = slot_at(st, slot)->v;
    ReleaseValue(st, &kept, RK_SLOT, 0);
    drop_texts(st, &value->v);
    kept = value->v;
    kept.handle = text;
    kept.flags |= VF_STRING;
    init_value(value);  // the variable owns it now
    frame->collection = slot;
    return true;
}

// Evaluates the expression (the current token is "in") and starts an
// enumeration over its value.
bool open_collection(EngineState* st, StructureFrame* frame, const Expression& e) {
    Value value;
    init_value(&value);
    get_token(st);
    bool ok = st->error == 0 && ProcessSubExpression(st, &value, 0, 0) && expect_statement_end(st);
    if (ok && !(value.v.flags & VF_VARIANT)) ok = raise(st, Err::ForEachBadSyntax);
    if (ok && !g_collection_hooks.begin) ok = raise(st, Err::OleNotCollection);
    if (ok && !g_collection_hooks.begin(st, &value)) ok = st->error ? false : raise(st, Err::OleNotCollection);
    if (ok) ok = keep_collection(st, frame, &value, e);
    release_value(st, &value);
    return ok;
}

// Writes the next element into the loop variable; none left ends the loop.
int step_collection(EngineState* st, StructureFrame* frame) {
    if (!g_collection_hooks.next) return raise(st, Err::OleNotCollection);
    bool found = false;
    if (!g_collection_hooks.next(st, &slot_at(st, frame->collection)->v, frame->variable, &found)) {
        return st->error ? 0 : raise(st, Err::OleNotCollection);
    }
    if (!found) drop_collection(st, frame);
    frame->state = found ? FS_RUN : FS_SKIP;
    st->last_condition = found;
    return 1;
}

}  // namespace

void drop_collection(EngineState* st, StructureFrame* frame) {
    if (frame->collection == NO_SLOT) return;
    drop_slot(st, frame->collection);
    frame->collection = NO_SLOT;
}

// ForEach variable in expression: a first entry pushes the frame; Next
// brings the loop back to this line for each further element.
int run_foreach(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    st->statement_kind = SK_FOR;
    StructureFrame* top = top_frame(st);
    const bool reentry = top && top->type == FRAME_FOREACH && top->line_position == c.line_position &&
                         top->buffer == c.buffer->handle;
    if (!reentry && region_skipped(st))
        return push_loop_frame(st, make_frame(c, FRAME_FOREACH, FS_SKIP_NESTED)) ? 1 : 0;
    get_token(st);
    if (st->error) return 0;
    if (st->lexer.kind == TK_END) return raise(st, Err::IncompleteStatement);
    if (st->lexer.kind != TK_NAME) return raise(st, Err::ForEachBadSyntax);
    const uint16_t variable = st->lexer.slot;
    Expression e{"", 0};
    if (!read_in_clause(st, &e)) return 0;
    if (!reentry) {
        StructureFrame frame = make_frame(c, FRAME_FOREACH, FS_RUN);
        frame.resume_position = c.line_position;
        frame.variable = variable;
        if (!push_loop_frame(st, frame)) return 0;
        top = top_frame(st);
    }
    if (!collection_current(st, *top, e)) {
        drop_collection(st, top);
        if (!open_collection(st, top, e)) return 0;
    }
    return step_collection(st, top);
}
