// GoTo, GoSub and Return, the label search and the jump cache that turns a
// GoTo or GoSub into a resolved jump after its first search.
#include <string.h>

#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/charclass.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lang/structures.h"

namespace {

// Label names are compared over at most this many characters.
constexpr size_t LABEL_MAX = 256;
// A resolved jump stores its target in four 6-bit characters.
constexpr uint32_t JUMP_TARGET_LIMIT = 1u << 24;
constexpr uint8_t JUMP_DIGIT_BASE = 64;
constexpr size_t RESOLVED_JUMP_BYTES = 5;

bool starts_with_nocase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (char_lower(static_cast<uint8_t>(*text)) != static_cast<uint8_t>(*prefix)) return false;
    return true;
}

bool opens_definition(const char* line) {
    return starts_with_nocase(line, "#definefunction") || starts_with_nocase(line, "#definesubroutine");
}

bool closes_definition(const char* line) {
    return starts_with_nocase(line, "#endfunction") || starts_with_nocase(line, "#endsubroutine");
}

// ":name" followed by a blank, a tab, a comment or the end of the line;
// `name` is already lower case.
bool is_label_line(const char* line, const char* name, size_t length) {
    if (line[0] != ':') return false;
    for (size_t i = 0; i < length; ++i)
        if (char_lower(static_cast<uint8_t>(line[1 + i])) != static_cast<uint8_t>(name[i])) return false;
    const char after = line[1 + length];
    return after == ' ' || after == '\t' || after == ';' || after == '\0';
}

bool is_gosub_frame(uint16_t type) {
    return type == FRAME_GOSUB_FALSE || type == FRAME_GOSUB_TRUE || type == FRAME_GOSUB_NONE;
}

int32_t last_if_of(uint16_t gosub_type) {
    if (gosub_type == FRAME_GOSUB_FALSE) return 0;
    return gosub_type == FRAME_GOSUB_TRUE ? 1 : LAST_IF_NONE;
}

// GoTo may not leave a ForEach of the running function or script.
bool inside_foreach(const EngineState* st) {
    for (int i = st->structure_depth - 1; i >= 0; --i) {
        if (st->frames[i].type == FRAME_FUNCTION) return false;
        if (st->frames[i].type == FRAME_FOREACH) return true;
    }
    return false;
}

// The label word after GoTo or GoSub, into the lexer's token text.
bool read_label(EngineState* st) {
    const char* p = skip_line_blanks(st->lexer.read);
    if (ends_statement(*p)) return raise(st, Err::IncompleteStatement);
    if (!is_word_char(static_cast<uint8_t>(*p))) return raise(st, Err::GoToNoLabel);
    get_string_token(st);
    return st->error == 0;
}

// Rewrites "GoTo" / "GoSub" at the start of the statement as a resolved
// jump to `target`, so that the next pass skips the search. Only a keyword
// that the statement begins with is rewritten, and only in a line that
// substitution left as the buffer holds it.
void cache_jump(const StatementContext& c, const char* keyword, uint32_t target) {
    if (c.no_jump_cache || target >= JUMP_TARGET_LIMIT) return;
    if (keyword != skip_line_blanks(c.statement) || (keyword[0] != 'G' && keyword[0] != 'g')) return;
    uint8_t bytes[RESOLVED_JUMP_BYTES];
    bytes[0] = (keyword[2] == 'T' || keyword[2] == 't') ? RESOLVED_GOTO : RESOLVED_GOSUB;
    for (int i = 0; i < 4; ++i)
        bytes[1 + i] = static_cast<uint8_t>(JUMP_DIGIT_BASE + ((target >> (18 - 6 * i)) & 63));
    write_script_bytes(c.st, *c.buffer, position_of(c, keyword), bytes, RESOLVED_JUMP_BYTES);
}

// Pushes the GoSub frame (its type records the last-If result) that Return
// comes back through; the subroutine starts outside any loop.
bool open_gosub(const StatementContext& c) {
    EngineState* st = c.st;
    StructureFrame frame = make_frame(c, gosub_frame_type(st->last_if), FS_RUN);
    frame.resume_position = *c.next_position;
    CHECK(push_frame(st, frame));
    st->in_loop = 0;
    st->last_if = LAST_IF_NONE;
    // The trace and the debugger show a jump as "GOSUB", a Return with its value.
    st->last_condition = 1;
    return true;
}

// Pops every frame from the top down to (not including) frame `keep`,
// releasing the hidden collections of ForEach loops left by Return.
void pop_above(EngineState* st, int keep) {
    while (st->structure_depth > keep + 1) {
        StructureFrame* top = top_frame(st);
        if (top->type == FRAME_FOREACH) drop_collection(st, top);
        --st->structure_depth;
    }
}

}  // namespace

bool find_label(EngineState* st, const char* label, const ScriptBuffer& buffer, uint32_t* target) {
    char name[LABEL_MAX + 1];
    size_t length = 0;
    for (; label[length] && length < LABEL_MAX; ++length) name[length] = static_cast<char>(char_lower(label[length]));
    name[length] = '\0';
    if (!GlobalLock(buffer.handle)) return raise(st, Err::GoToLockFailed);
    GlobalUnlock(buffer.handle);
    // The search reads every line; a long one must not leave its error to
    // the line that runs next.
    const uint16_t pending = st->pending_line_error;
    char line[LINE_BUFFER_BYTES];
    uint32_t position = 0, start = 0;
    bool in_definition = false, found = false;
    while (!found && ReadLine(st, line, sizeof line, buffer, &start, &position)) {
        if (line[0] == '#') {
            if (opens_definition(line)) in_definition = true;
            else if (closes_definition(line)) in_definition = false;
        } else if (!in_definition && is_label_line(line, name, length)) {
            *target = start;
            found = true;
        }
    }
    st->pending_line_error = pending;
    return found || raise(st, Err::GoToLabelNotFound);
}

// GoTo label (reached through the statement-keyword dispatch, which has
// already passed it over in a skipped region).
int run_goto(StatementContext& c) {
    EngineState* st = c.st;
    st->last_if = LAST_IF_NONE;
    const char* keyword = st->lexer.token_start;
    if (inside_foreach(st)) return raise(st, Err::GoToInForEach);
    uint32_t target;
    if (!read_label(st) || !find_label(st, st->lexer.text, *c.buffer, &target)) return 0;
    *c.next_position = target;
    cache_jump(c, keyword, target);
    return 1;
}

// GoSub label
int run_gosub(StatementContext& c) {
    EngineState* st = c.st;
    if (region_skipped(st)) {
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    st->statement_kind = SK_JUMP;
    const char* keyword = st->lexer.token_start;
    if (!read_label(st)) return 0;
    if (!ends_statement(*skip_line_blanks(st->lexer.read)))
        return raise_hint(st, Err::ExtraAfterExpression, Err::HintExtraCharacters);
    if (!open_gosub(c)) return 0;
    uint32_t target;
    if (!find_label(st, st->lexer.text, *c.buffer, &target)) {
        pop_restoring_in_loop(st);
        return 0;
    }
    *c.next_position = target;
    cache_jump(c, keyword, target);
    return 1;
}

// Return [expression]: back to the nearest GoSub, or out of the Call level,
// the function or the script (-1).
int run_return(StatementContext& c) {
    EngineState* st = c.st;
    if (region_skipped(st)) {
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    st->statement_kind = SK_JUMP;
    st->last_if = LAST_IF_NONE;
    get_token(st);
    if (st->error) return 0;
    const bool has_value = st->lexer.kind != TK_END;
    if (has_value) {
        if (!ProcessSubExpression(st, c.result, 0, 0) || !expect_statement_end(st)) return 0;
    } else {
        init_value(c.result);
    }
    return return_to_caller(c, has_value);
}

bool return_ends_gosub(const EngineState* st) {
    for (int i = st->structure_depth - 1; i >= 0; --i) {
        const uint16_t type = st->frames[i].type;
        if (is_gosub_frame(type)) return true;
        if (type == FRAME_CALL || type == FRAME_FUNCTION) return false;
    }
    return false;
}

int return_to_caller(StatementContext& c, bool has_value) {
    EngineState* st = c.st;
    for (int i = st->structure_depth - 1; i >= 0; --i) {
        StructureFrame& frame = st->frames[i];
        if (is_gosub_frame(frame.type)) {
            if (has_value) return raise(st, Err::GoSubReturnValue);
            *c.next_position = frame.resume_position;
            st->in_loop = frame.saved_in_loop;
            st->last_if = last_if_of(frame.type);
            pop_above(st, i);
            --st->structure_depth;
            return 1;
        }
        if (frame.type == FRAME_CALL || frame.type == FRAME_FUNCTION) {
            // The frame stays for its caller, which takes the result and
            // removes it.
            pop_above(st, i);
            frame.variable = FRAME_RETURNED;
            return -1;
        }
    }
    return -1;
}

// Byte 158 (GoSub) or 159 (GoTo) and four 6-bit digits of the target.
int run_resolved_jump(StatementContext& c, const char* text) {
    EngineState* st = c.st;
    if (region_skipped(st)) {
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    st->statement_kind = SK_JUMP;
    uint32_t target = 0;
    for (int i = 1; i <= 4 && text[i]; ++i) target = (target << 6) | (static_cast<uint8_t>(text[i]) & 63);
    if (static_cast<uint8_t>(text[0]) == RESOLVED_GOSUB) {
        if (!open_gosub(c)) return 0;
    } else {
        st->last_if = LAST_IF_NONE;
    }
    *c.next_position = target;
    return 1;
}
