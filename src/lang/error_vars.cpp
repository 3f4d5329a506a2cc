// What a script's error or cancel handler receives: the 12-element
// tqerrorarray and the tqerror... variables, built from the statement that
// the driver is handling.
#include "lang/error_driver.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/messages.h"
#include "lang/arrays.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/variables.h"

namespace {

constexpr int32_t ERROR_ARRAY_ELEMENTS = 12;

// Everything a handler is told about one error, in tqerrorarray order.
struct ErrorFacts {
    int32_t number;
    const char* line;
    int32_t position;
    char assignment[VARIABLE_NAME_BYTES];
    LineLocation where;
    char text[LINE_BUFFER_BYTES];
    const char* info;
    char function[VARIABLE_NAME_BYTES];
};

// The user and extender codes carry their own text instead of a message.
bool carries_user_text(int error) {
    return is_user_or_extender_error(error) || error == ERROR_REPORTED_BY_RAISER ||
           error == ERROR_REPORTED_BY_EVENT;
}

bool is_extender_error(int error) {
    return error == static_cast<int>(Err::ExtenderMinorError) ||
           error == static_cast<int>(Err::ExtenderModerateError) ||
           error == static_cast<int>(Err::ExtenderSevereError);
}

void error_text_of(EngineState* st, int error, bool cancel, char* text, size_t size) {
    if (cancel) {
        lstrcpynA(text, "Cancel", static_cast<int>(size));
    } else if (carries_user_text(error)) {
        const char* own = is_extender_error(error) && st->extender_error_text[0] ? st->extender_error_text
                                                                                : st->user_error_text;
        lstrcpynA(text, own, static_cast<int>(size));
    } else {
        message_text(st, error, text, static_cast<int>(size));
    }
}

// Assignments record their target while they run (see the evaluator).
void assignment_name(EngineState* st, char* out) {
    out[0] = '\0';
    if (st->assign_slot == NO_SLOT || st->assign_table != st->table.id) return;
    if (st->assign_slot >= st->table.used) return;
    lstrcpynA(out, slot_at(st, st->assign_slot)->name, VARIABLE_NAME_BYTES);
}

void running_function_name(EngineState* st, char* out) {
    out[0] = '\0';
    if (st->current_function == NO_FUNCTION) return;
    uint16_t length = 0;
    const char* name = user_function_name(st, UDF_ID_BASE + st->current_function, &length);
    if (name) lstrcpynA(out, name, VARIABLE_NAME_BYTES);
}

void gather_facts(EngineState* st, const ScriptBuffer& buffer, bool cancel, int pending,
                  ErrorFacts* facts) {
    const int error = cancel ? static_cast<int>(Err::UserCancel) : pending;
    facts->number = real_error_number(st, error);
    facts->line = st->statement_line ? st->statement_line : "";
    facts->position = static_cast<int32_t>(st->statement_position);
    assignment_name(st, facts->assignment);
    memset(&facts->where, 0, sizeof facts->where);
    facts->where.marker_level = -1;
    if (buffer.handle) {
        facts->where.line = LocateLine(st, buffer, st->statement_position, st->current_function, &facts->where);
    }
    error_text_of(st, error, cancel, facts->text, sizeof facts->text);
    facts->info = cancel ? "User pressed Cancel" : error_info_text(st);
    running_function_name(st, facts->function);
}

void set_handler_variables(EngineState* st, const ErrorFacts& f) {
    // Failures here are passed over: the error being handled is what counts.
    (void)set_variable_text(st, "tqerrorhandlerline", f.line);
    (void)set_variable_int(st, "tqerrorhandleroffset", f.position);
    (void)set_variable_text(st, "tqerrorhandlerassignment", f.assignment);
    (void)set_variable_text(st, "tqerrorhandlerfile", f.where.file);
    (void)set_variable_text(st, "tqerrortextstring", f.text);
    (void)set_variable_text(st, "tqerroradditionalinfo", f.info);
    (void)set_variable_text(st, "tqerrorinsegment", f.function);
    (void)set_variable_int(st, "tqerrorhandlerlinenumber", f.where.line);
}

void set_cell_int(ArrayCell* cell, int32_t value) { SetInteger(&cell->v, RK_CELL, 0, value); }

bool set_cell_string(EngineState* st, ArrayCell* cell, const char* text) {
    return set_cell_text(st, cell, text, strlen(text));
}

// The array is rebuilt for every handled error; the variable takes over the
// creating share.
void build_error_array(EngineState* st, const ErrorFacts& f) {
    Value array;
    init_value(&array);
    if (CreateMyArray(st, &array, ERROR_ARRAY_ELEMENTS, 0, 0, 0, 0, 0, 1) != 1) return;
    ArrayCell* cells = array_of(array.v)->elements;
    set_cell_int(&cells[0], f.number);
    bool ok = set_cell_string(st, &cells[1], f.line);
    set_cell_int(&cells[2], f.position);
    ok = ok && set_cell_string(st, &cells[3], f.assignment);
    ok = ok && set_cell_string(st, &cells[4], f.where.file);
    ok = ok && set_cell_string(st, &cells[5], f.text);
    ok = ok && set_cell_string(st, &cells[6], f.info);
    ok = ok && set_cell_string(st, &cells[7], f.function);
    set_cell_int(&cells[8], f.where.line);
    set_cell_int(&cells[9], f.where.line_in_function);
    set_cell_int(&cells[10], f.where.marker_level);
    set_cell_int(&cells[11], 0);
    const uintptr_t handle = array.v.handle;
    if (!ok || !SetVariable(st, "tqerrorarray", VF_ARRAY, &handle)) release_value(st, &array);
}

}  // namespace

void SetErrorVariables(EngineState* st, const ScriptBuffer& buffer, bool cancel, bool array_only) {
    PendingErrorAside aside(st->error);
    ErrorFacts facts;
    gather_facts(st, buffer, cancel, aside.pending(), &facts);
    build_error_array(st, facts);
    if (!array_only) set_handler_variables(st, facts);
}
