// The statement executor: dispatch of one line to the structure keywords,
// the statement-like keywords (Beep, Exit, Yield, GoTo, Execute, host
// statements) and plain statements, and the helpers the structures share.
#include "lang/statements.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <mmsystem.h>

#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "base/messages.h"
#include "base/stack_guard.h"
#include "lang/error_driver.h"
#include "lang/evaluator.h"
#include "lang/host_call.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/pump.h"
#include "lang/structures.h"
#include "lang/token_cache.h"

namespace {

constexpr uint16_t KW_BEEP = keyword_id("beep");
constexpr uint16_t KW_EXIT = keyword_id("exit");
constexpr uint16_t KW_YIELD = keyword_id("yield");
constexpr uint16_t KW_GOTO = keyword_id("goto");
constexpr uint16_t KW_EXECUTE = keyword_id("execute");

// Execute error modes (IntControl 87).
constexpr int32_t EXECUTE_OK_ONLY = 1;
constexpr int32_t EXECUTE_IGNORE = 2;
// The pending-cancel value left when the user cancels an Execute error box.
constexpr int32_t EXECUTE_CANCELLED = 999;

// ---------------------------------------------------------------- structure keywords

// End If, End While, End Switch, End Select, End For.
int run_end(StatementContext& c) {
    EngineState* st = c.st;
    get_token(st);
    if (st->error) return 0;
    if (st->lexer.kind == TK_KEYWORD) {
        const uint16_t id = st->lexer.id;
        if (id == KW_IF) return run_endif(c);
        if (id == KW_WHILE) return run_endwhile(c);
        if (id == KW_SWITCH || id == KW_SELECT) return run_endswitch(c);
        if (id == KW_FOR) return run_next(c);
    }
    return raise(st, Err::EndNotQualified);
}

int run_structure(StatementContext& c, uint16_t id) {
    switch (id) {
        case KW_IF: return run_if(c);
        case KW_ELSE: return run_else(c);
        case KW_ENDIF: return run_endif(c);
        case KW_WHILE: return run_while(c);
        case KW_ENDWHILE: return run_endwhile(c);
        case KW_FOR: return run_for(c);
        case KW_TO: return run_to(c);
        case KW_FOREACH: return run_foreach(c);
        case KW_NEXT:
        case KW_ENDFOR: return run_next(c);
        case KW_SWITCH:
        case KW_SELECT: return run_switch(c);
        case KW_CASE: return run_case(c);
        case KW_ENDSWITCH:
        case KW_ENDSELECT: return run_endswitch(c);
        case KW_BREAK: return run_break(c);
        case KW_CONTINUE: return run_continue(c);
        case KW_GOSUB: return run_gosub(c);
        case KW_RETURN: return run_return(c);
        case KW_END: return run_end(c);
        default: break;
    }
    // "Then" standing first: nothing to do while skipping.
    if (region_skipped(c.st)) {
        c.st->statement_kind = SK_SKIPPED;
        return 1;
    }
    return raise(c.st, Err::StructOpNotDefined);
}

// ---------------------------------------------------------------- Execute

// Errors that Execute catches: ordinary errors and three of the quiet stops.
bool execute_catches(uint16_t error) {
    return error != 0 && (error < TERMINATE_EXIT || error == TERMINATE_QUIET || error == ERROR_IN_FUNCTION_BODY ||
                          error == ERROR_REPORTED_BY_EVENT);
}

void clear_error(EngineState* st) {
    st->error = 0;
    free_error_info(st);
}

// The failed Execute's box: OK goes on, Cancel stops the run quietly.
int report_execute_error(StatementContext& c) {
    EngineState* st = c.st;
    const uint16_t error = st->error;
    const int32_t mode = st->execute_error_mode;
    if (mode == EXECUTE_IGNORE) {
        clear_error(st);
        return 1;
    }
    if (st->sounds) PlaySoundA("SystemHand", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
    const int shown = real_error_number(st, error);
    char message[LINE_BUFFER_BYTES];
    message_text(st, shown, message, sizeof message);
    char caption[LINE_BUFFER_BYTES + 32];
    snprintf(caption, sizeof caption, "EXECUTE::%d:  %s", shown, message);
    const UINT buttons = mode == EXECUTE_OK_ONLY ? MB_OK : MB_OKCANCEL;
    const int answer = MessageOrLog(st, nullptr, c.line, caption, buttons | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    clear_error(st);
    // Silent mode answers Cancel; a box without a Cancel button cannot.
    if (mode != EXECUTE_OK_ONLY && answer == IDCANCEL) {
        // The run ends quietly; the host still learns why, unless the error
        // was reported where it happened (a function body, a Called script).
        if (error < TERMINATE_EXIT) keep_report(st, shown, true);
        st->pending_cancel = EXECUTE_CANCELLED;
        return raise(st, TERMINATE_QUIET);
    }
    return 1;
}

// Execute statement: the rest of the line runs as a statement of its own.
int run_execute(StatementContext& c) {
    EngineState* st = c.st;
    const char* rest = skip_line_blanks(st->lexer.read);
    const int32_t was_inside = st->inside_execute;
    st->inside_execute = 1;
    const int outcome = execute_text(c, rest);
    st->inside_execute = was_inside;
    if (!execute_catches(st->error)) return outcome;
    return report_execute_error(c);
}

// ---------------------------------------------------------------- host statements

// A statement of the host's table: the rest of the line goes to the host
// as its one text argument.
int run_host_statement(StatementContext& c, uint16_t id) {
    EngineState* st = c.st;
    const char* rest = skip_line_blanks(st->lexer.read);
    Value args[2];
    init_value(&args[0]);
    init_value(&args[1]);
    if (!set_value_text(st, &args[1].v, rest, strlen(rest))) return 0;
    const bool ok = call_host_function(st, id, c.result, args, 1);
    release_value(st, &args[1]);
    return ok ? 1 : 0;
}

// ---------------------------------------------------------------- statement-like keywords

int run_statement_keyword(StatementContext& c, uint16_t id) {
    EngineState* st = c.st;
    if (region_skipped(st)) {
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    st->statement_kind = SK_PLAIN;
    switch (id) {
        case KW_BEEP:
            MessageBeep(0xFFFFFFFF);
            MessageBeep(0);
            return 1;
        case KW_EXIT:
            st->last_if = LAST_IF_NONE;
            return raise(st, TERMINATE_EXIT);
        case KW_YIELD:
            PumpMessages(st);
            return 1;
        case KW_GOTO: return run_goto(c);
        case KW_EXECUTE: return run_execute(c);
        default: break;
    }
    if (id >= HOST_ID_BASE && id <= HOST_ID_LAST) return run_host_statement(c, id);
    return raise(st, Err::StructOpNotDefined);
}

// ---------------------------------------------------------------- plain statements

int run_plain(StatementContext& c, bool through_pointer) {
    EngineState* st = c.st;
    if (region_skipped(st)) {
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    st->statement_kind = SK_PLAIN;
    if (!ProcessStatementExpression(st, c.result, through_pointer)) return 0;
    return expect_statement_end(st) ? 1 : 0;
}

}  // namespace

// ---------------------------------------------------------------- shared helpers

const char* skip_line_blanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

bool expect_statement_end(EngineState* st) {
    if (st->lexer.kind == TK_END) return true;
    return raise_hint(st, Err::ExtraAfterExpression, Err::HintExtraCharacters);
}

namespace {

// The integer range a float condition is truncated within.
constexpr double INT_RANGE = 2147483648.0;

bool value_truth(EngineState* st, ValuePayload* v, bool* truth) {
    if (v->flags & VF_INT) {
        *truth = v->integer != 0;
        return true;
    }
    if (v->flags & VF_FLOAT) {
        const double x = v->real;
        // NaN and floats past the integer range count as true.
        *truth = !(fabs(x) < INT_RANGE) || static_cast<int32_t>(x) != 0;
        return true;
    }
    if (!ToInteger(st, v, false)) return raise(st, Err::NotConvertibleToNumber);
    *truth = v->integer != 0;
    return true;
}

}  // namespace

bool evaluate_condition(EngineState* st, bool* truth) {
    Value v;
    init_value(&v);
    const bool ok = ProcessSubExpression(st, &v, 0, 0) && value_truth(st, &v.v, truth);
    release_value(st, &v);
    return ok;
}

// ---------------------------------------------------------------- dispatch

int execute_text(StatementContext& c, const char* text) {
    EngineState* st = c.st;
    // Execute and single-line If nest statements within a line.
    NestingLevel level(st);
    if (!level.entered()) return 0;
    text = skip_line_blanks(text);
    const uint8_t first = static_cast<uint8_t>(*text);
    if (first == RESOLVED_GOSUB || first == RESOLVED_GOTO) return run_resolved_jump(c, text);
    const bool through_pointer = first == '*';
    if (through_pointer) ++text;
    lexer_start(st, text);
    if (c.cached.entry) lexer_use_cache(st, c.cached, c.line);
    get_token(st);
    if (st->error) {
        if (!region_skipped(st)) return 0;
        // Skipped lines need not tokenise.
        st->error = 0;
        st->statement_kind = SK_SKIPPED;
        return 1;
    }
    if (st->lexer.kind == TK_END) return raise(st, Err::IncompleteStatement);
    if (st->lexer.kind == TK_KEYWORD) {
        const uint16_t id = st->lexer.id;
        const uint32_t type = keyword_type(st, id);
        if (type == KT_STRUCTURE) return run_structure(c, id);
        if (type == KT_STATEMENT) return run_statement_keyword(c, id);
    }
    return run_plain(c, through_pointer);
}

int ExecuteStatement(EngineState* st, Value* result, char* line, uint32_t statement_offset,
                     uint32_t* next_position, uint32_t line_position, const ScriptBuffer& buffer,
                     bool no_jump_cache, const CachedLineRef& kept) {
    StatementContext c{st, result, line, line + statement_offset, next_position, line_position, &buffer,
                       no_jump_cache, kept};
    return execute_text(c, c.statement);
}
