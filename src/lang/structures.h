// Shared by the statement executor's files: the line being run, the frame
// helpers, the small evaluation helpers and the handler of every structure
// keyword.
#pragma once

#include <stdint.h>
#include "base/engine_state.h"
#include "lang/keyword_ids.h"
#include "lang/statements.h"
#include "lang/token_cache.h"

// The line being executed and where it lies in its buffer. Positions of the
// line's characters are line_position + their offset in `line`.
struct StatementContext {
    EngineState* st;
    Value* result;
    const char* line;
    const char* statement;  // first character of the statement (after a label)
    uint32_t* next_position;
    uint32_t line_position;
    const ScriptBuffer* buffer;
    bool no_jump_cache;  // the line was changed by %substitution%
    CachedLineRef cached;  // the line's kept tokens
};

inline uint32_t position_of(const StatementContext& c, const char* p) {
    return c.line_position + static_cast<uint32_t>(p - c.line);
}

// Runs the statement that starts at `text` (the whole statement, or the
// rest of a line after Then, Else or Execute). Returns 1, 0 or -1 as
// ExecuteStatement does.
int execute_text(StatementContext& c, const char* text);

// Statement-kind codes written for the debug trace.
enum StatementKind : int32_t {
    SK_PLAIN = 0,
    SK_SINGLE_IF = 1,
    SK_SKIPPED = 2,
    SK_WHILE = 3,
    SK_END = 4,
    SK_SWITCH = 5,
    SK_BREAK = 6,
    SK_CONTINUE = 7,
    SK_FOR = 8,
    SK_JUMP = 9,
    SK_BLOCK_IF = 10,
    SK_BLOCK_ELSE = 11,
    SK_CASE = 12,
};

// Last-If result values.
constexpr int32_t LAST_IF_NONE = -1;

// Resolved-jump markers that the jump cache writes over GoSub and GoTo.
constexpr uint8_t RESOLVED_GOSUB = 158;
constexpr uint8_t RESOLVED_GOTO = 159;

// Structure keyword ids.
constexpr uint16_t KW_IF = keyword_id("if");
constexpr uint16_t KW_THEN = keyword_id("then");
constexpr uint16_t KW_ELSE = keyword_id("else");
constexpr uint16_t KW_ENDIF = keyword_id("endif");
constexpr uint16_t KW_END = keyword_id("end");
constexpr uint16_t KW_WHILE = keyword_id("while");
constexpr uint16_t KW_ENDWHILE = keyword_id("endwhile");
constexpr uint16_t KW_FOR = keyword_id("for");
constexpr uint16_t KW_TO = keyword_id("to");
constexpr uint16_t KW_FOREACH = keyword_id("foreach");
constexpr uint16_t KW_NEXT = keyword_id("next");
constexpr uint16_t KW_ENDFOR = keyword_id("endfor");
constexpr uint16_t KW_SWITCH = keyword_id("switch");
constexpr uint16_t KW_SELECT = keyword_id("select");
constexpr uint16_t KW_CASE = keyword_id("case");
constexpr uint16_t KW_ENDSWITCH = keyword_id("endswitch");
constexpr uint16_t KW_ENDSELECT = keyword_id("endselect");
constexpr uint16_t KW_BREAK = keyword_id("break");
constexpr uint16_t KW_CONTINUE = keyword_id("continue");
constexpr uint16_t KW_GOSUB = keyword_id("gosub");
constexpr uint16_t KW_RETURN = keyword_id("return");

// ---------------------------------------------------------------- frames

// A frame opened by the current line: buffer, function and in-loop flag
// recorded, no variable, no collection.
StructureFrame make_frame(const StatementContext& c, uint16_t type, uint8_t state);
// The state a new frame starts in: skip-nested inside a skipped region,
// otherwise run or skip by `runs`.
inline uint8_t opening_state(const EngineState* st, bool runs) {
    if (region_skipped(st)) return FS_SKIP_NESTED;
    return runs ? FS_RUN : FS_SKIP;
}
// Pushes a While/For/ForEach/Switch frame and sets the in-loop flag.
[[nodiscard]] bool push_loop_frame(EngineState* st, const StructureFrame& frame);
// Pops the top frame and gives the in-loop flag back the value it had
// before that frame was pushed.
void pop_restoring_in_loop(EngineState* st);
// The top frame for an end keyword, which also clears the last-If result
// and marks the statement as an end: 3354 on an empty stack, 3357 when its
// type is neither `type` nor `other` (null in both cases).
StructureFrame* frame_to_close(EngineState* st, uint16_t type, uint16_t other);

// ---------------------------------------------------------------- evaluation

// 3074 with hint 9505 unless the current token ends the statement.
[[nodiscard]] bool expect_statement_end(EngineState* st);
// A character where the lexer would see the end of the statement.
inline bool ends_statement(char c) { return c == '\0' || c == ';'; }
// Skips blanks and tabs.
const char* skip_line_blanks(const char* p);
// Evaluates the condition at the current token into *truth (If, While):
// a float is truncated and counts as true outside the integer range; other
// values that are not numbers raise 3057.
[[nodiscard]] bool evaluate_condition(EngineState* st, bool* truth);

// ---------------------------------------------------------------- handlers
// Each starts with the keyword as the current token and returns 1, 0 or -1.

int run_if(StatementContext& c);
int run_else(StatementContext& c);
int run_endif(StatementContext& c);
// The block forms once If's condition is known (`skipped`: inside a skipped
// region, where it was not evaluated) and the block Else.
int open_block_if(StatementContext& c, bool skipped, bool truth);
int run_block_else(StatementContext& c);

int run_while(StatementContext& c);
// While once its condition is known.
int open_while(StatementContext& c, bool truth);
int run_endwhile(StatementContext& c);
int run_for(StatementContext& c);
int run_to(StatementContext& c);
int run_next(StatementContext& c);
int run_break(StatementContext& c);
int run_continue(StatementContext& c);
int run_foreach(StatementContext& c);
// Releases a ForEach frame's hidden collection variable, if it has one.
void drop_collection(EngineState* st, StructureFrame* frame);

int run_switch(StatementContext& c);
int run_case(StatementContext& c);
int run_endswitch(StatementContext& c);

int run_goto(StatementContext& c);
int run_gosub(StatementContext& c);
int run_return(StatementContext& c);
// What Return does once its value (if any) is in c.result: back to the
// innermost GoSub (1760 with a value), or out of the Call level, function
// or script that the innermost Call or function frame stands for.
int return_to_caller(StatementContext& c, bool has_value);
// Whether the innermost GoSub, Call or function frame is a GoSub's.
bool return_ends_gosub(const EngineState* st);
// A statement that starts with byte 158 or 159.
int run_resolved_jump(StatementContext& c, const char* text);
