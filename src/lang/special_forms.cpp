// Special forms: Drop, IsDefined, VarType, ObjectTypeGet and the pointer
// forms, which read their own operand lists of variable names.
#include "lang/special_forms.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"
#include "base/messages.h"
#include "lang/array_access.h"
#include "lang/evaluator.h"
#include "lang/frame_types.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"
#include "lang/var_pointer.h"
#include "lang/variables.h"

namespace {

// ------------------------------------------------------------------ tokens

[[nodiscard]] bool next_token(EngineState* st) {
    get_token(st);
    return st->error == 0;
}

// The message reads "<name> not followed by open parenthesis".
bool raise_missing_open(EngineState* st, const char* name) {
    const bool first = st->error == 0;
    raise(st, Err::MissingOpenParenthesis);
    if (!first) return false;
    char hint[256];
    message_text(st, static_cast<int>(Err::HintNoOpenParenthesis), hint, sizeof hint);
    char text[KEYWORD_NAME_BYTES + sizeof hint + 2];
    snprintf(text, sizeof text, "%s %s", name, hint);
    AddErrorInfo(st, text);
    return false;
}

// The form's name is the current token; "(" must follow and becomes current.
[[nodiscard]] bool open_list(EngineState* st) {
    char name[KEYWORD_NAME_BYTES];
    lstrcpynA(name, st->lexer.text, sizeof name);
    CHECK(next_token(st));
    return token_is(st, KWID_OPEN) || raise_missing_open(st, name);
}

// Too many operands and a missing ")" give the same error, as for functions.
[[nodiscard]] bool expect_close(EngineState* st) {
    return token_is(st, KWID_CLOSE) || raise_hint(st, Err::WrongArgumentCount, Err::HintMissingParenthesis);
}

// ------------------------------------------------------------------ operands

// The variable an operand names, reached through a pointer when the operand
// began with "*". While `switched` is set the pointer's table is current and
// leave_operand must restore the caller's.
struct Operand {
    bool named = false;       // false: the operand is not a variable name
    uint16_t slot = NO_SLOT;  // in the current table; NO_SLOT when the variable does not exist
    bool switched = false;
    TableSave save = {};
};

// The pointer variable's own name went to the lexer's scratch slot; its value
// must be a pointer text, whose table is made current.
[[nodiscard]] bool enter_pointed_variable(EngineState* st, Operand* op) {
    uint32_t holder = find_var(st, st->lexer.text, 1);
    if (holder == NO_SLOT) return false;
    const char* text = value_text(st, slot_at(st, static_cast<uint16_t>(holder))->v);
    if (!text) return raise(st, Err::NotVariablePointer);
    VariablePointer ptr;
    CHECK(parse_variable_pointer(st, text, &ptr));
    CHECK(SwitchTable(st, ptr.table, &op->save));
    op->switched = true;
    op->slot = find_slot_lowered(st, ptr.name, strlen(ptr.name));
    return true;
}

// operand -> ["*"] name. The current token is the one before the operand
// ("(" or ","); on return it is the operand's last token.
[[nodiscard]] bool enter_operand(EngineState* st, Operand* op) {
    CHECK(next_token(st));
    const bool via_pointer = token_is(st, KWID_STAR);
    if (via_pointer) {
        st->lexer.dereference = 1;
        CHECK(next_token(st));
    }
    if (st->lexer.kind != TK_NAME) return true;
    op->named = true;
    if (via_pointer) return enter_pointed_variable(st, op);
    op->slot = st->lexer.slot;
    return true;
}

[[nodiscard]] bool leave_operand(EngineState* st, Operand* op) {
    if (!op->switched) return true;
    op->switched = false;
    return RestoreTable(st, &op->save);
}

// ------------------------------------------------------------------ Drop

// The variable an assignment in progress is about to store into survives a
// Drop on its right-hand side: the current line's target, and those of the
// lines that called the running functions and scripts.
bool is_assignment_target(const EngineState* st, uint16_t slot) {
    if (st->assign_table == st->table.id && st->assign_slot == slot) return true;
    for (int32_t i = 0; i < st->structure_depth; ++i) {
        const StructureFrame& f = st->frames[i];
        if ((f.type == FRAME_FUNCTION || f.type == FRAME_CALL) && f.assign_table == st->table.id &&
            f.assign_slot == slot)
            return true;
    }
    return false;
}

// Drop(name, name, ...) -> 1; a name that does not exist is no error.
[[nodiscard]] bool form_drop(EngineState* st, Value* result) {
    do {
        Operand op;
        CHECK(enter_operand(st, &op));
        if (!op.named) return raise(st, Err::DropNotVariable);
        if (op.slot != NO_SLOT && !is_assignment_target(st, op.slot)) drop_slot(st, op.slot);
        CHECK(leave_operand(st, &op));
        CHECK(next_token(st));
    } while (token_is(st, KWID_COMMA));
    CHECK(expect_close(st));
    SetInteger(&result->v, RK_VALUE, 0, 1);
    return next_token(st);
}

// ------------------------------------------------------------------ IsDefined, VarType, ObjectTypeGet

constexpr int32_t NOT_A_VARIABLE = -1;

// What an operand names: the flags of the variable (0 when it is not
// defined) or of the element its subscripts select; -1 for anything else.
struct Inspection {
    int32_t flags = NOT_A_VARIABLE;
    VARTYPE variant_type = VT_EMPTY;
    Value array_view = {};      // a borrowed view of an array or array VARIANT
    bool subscriptable = false;
};

void inspect_payload(const ValuePayload& v, Inspection* out) {
    if (!(v.flags & VF_DEFINED_MASK)) {
        out->flags = 0;
        return;
    }
    out->flags = static_cast<int32_t>(v.flags);
    out->variant_type = v.variant.vt;
}

void inspect_slot(const ValuePayload& v, Inspection* out) {
    inspect_payload(v, out);
    out->subscriptable = holds_subscriptable(v);
    // Only the array's handle or VARIANT is needed later, and the variable
    // keeps owning it, so a plain copy of the payload serves as the view.
    if (out->subscriptable) out->array_view.v = v;
}

// "[" subscripts "]" after an array name select one element, whose flags
// count instead of the array's; an element never assigned counts as not defined.
[[nodiscard]] bool inspect_element(EngineState* st, Inspection* out) {
    Value element;
    init_value(&element);
    const uint16_t pending = st->error;
    if (!array_subscript(st, &out->array_view, &element, false, nullptr)) {
        if (pending != 0 || st->error != static_cast<uint16_t>(Err::ArrayElementUninitialized)) return false;
        st->error = 0;
        out->flags = 0;
        return true;
    }
    inspect_payload(element.v, out);
    release_value(st, &element);
    return true;
}

// form(operand): the current token is "("; on return it is ")". Subscripts
// are evaluated in the caller's table, after a pointer's table is left.
[[nodiscard]] bool inspect_operand(EngineState* st, Inspection* out) {
    Operand op;
    CHECK(enter_operand(st, &op));
    if (op.named) {
        if (op.slot == NO_SLOT) {
            out->flags = 0;
        } else {
            inspect_slot(slot_at(st, op.slot)->v, out);
        }
    }
    CHECK(leave_operand(st, &op));
    CHECK(next_token(st));
    if (out->subscriptable && token_is(st, KWID_OPEN_BRACKET)) {
        CHECK(inspect_element(st, out));
        CHECK(next_token(st));
    }
    return expect_close(st);
}

// IsDefined(operand) -> 1 defined, 0 not, -1 not a variable.
[[nodiscard]] bool form_is_defined(EngineState* st, Value* result) {
    Inspection what;
    CHECK(inspect_operand(st, &what));
    int32_t answer = what.flags == NOT_A_VARIABLE ? NOT_A_VARIABLE : what.flags != 0;
    SetInteger(&result->v, RK_VALUE, 0, answer);
    return next_token(st);
}

// VarType(operand) -> the low 16 flag bits, or -1.
[[nodiscard]] bool form_var_type(EngineState* st, Value* result) {
    Inspection what;
    CHECK(inspect_operand(st, &what));
    int32_t answer = what.flags == NOT_A_VARIABLE ? NOT_A_VARIABLE : (what.flags & 0xFFFF);
    SetInteger(&result->v, RK_VALUE, 0, answer);
    return next_token(st);
}

// ObjectTypeGet(operand) -> the VARIANT type name, "" for anything else.
[[nodiscard]] bool form_object_type_get(EngineState* st, Value* result) {
    Inspection what;
    CHECK(inspect_operand(st, &what));
    const bool variant = what.flags != NOT_A_VARIABLE && (what.flags & VF_VARIANT);
    const char* name = variant ? variant_type_name(what.variant_type) : "";
    if (!name) name = "";
    CHECK(set_value_text(st, &result->v, name, strlen(name)));
    return next_token(st);
}

// ------------------------------------------------------------------ pointer forms

enum class PointerForm { MakePointer, GlobalDefine, Global, GlobalTest, Persistent };

// The operand must be a name. PtrPersistent's is decorated by the lexer with
// the calling function's number; PtrGlobalDefine and ?makepointer create a
// missing variable as an integer, so that a pointer can be made to it.
[[nodiscard]] bool read_pointer_name(EngineState* st, PointerForm form) {
    LexerState& lx = st->lexer;
    lx.persistent_name = form == PointerForm::Persistent;
    lx.address_of = form == PointerForm::GlobalDefine || form == PointerForm::MakePointer;
    get_token(st);
    lx.persistent_name = 0;
    if (form == PointerForm::Persistent && st->error == static_cast<uint16_t>(Err::NameTooLong)) {
        // The lexer's limit for a persistent name is reported as a pointer error.
        st->error = 0;
        return raise_hint(st, Err::PointerError, Err::HintPersistentNameTooLong);
    }
    CHECK(st->error == 0);
    if (lx.kind != TK_NAME) {
        if (form == PointerForm::MakePointer) return raise(st, Err::MakePointerNotVariable);
        return raise_hint(st, Err::PointerError, Err::HintNotVariableName);
    }
    if (lx.slot == NO_SLOT || lx.slot == 0 || lx.slot >= st->table.used)
        return raise_hint(st, Err::PointerError, Err::HintPointerCreateFailed);
    return true;
}

// The value is evaluated every time but kept only by a variable that did not
// exist before, so a function's persistent variable is initialised once.
[[nodiscard]] bool read_initial_value(EngineState* st, uint16_t slot, bool fresh) {
    CHECK(next_token(st));
    if (!token_is(st, KWID_COMMA)) return raise(st, Err::WrongArgumentCount);
    CHECK(next_token(st));
    Value initial;
    init_value(&initial);
    bool ok = ProcessSubExpression(st, &initial, 0, 0) != 0;
    if (ok && fresh) {
        // The table may have been re-locked while the expression ran.
        ValuePayload* target = &slot_at(st, slot)->v;
        ReleaseValue(st, target, RK_SLOT, 0);
        ok = CopyValue(st, &initial.v, target, 0,
                       copy_mode(RK_VALUE, RK_SLOT) | VM_DUP_TEXT | VM_DUP_VARIANT | VM_SHARE_ARRAY);
    }
    release_value(st, &initial);
    return ok;
}

bool is_global(const VariableSlot& var) {
    return (var.v.flags & VF_DEFINED_MASK) && (var.marks & VARMARK_GLOBAL);
}

// Everything between "(" and ")" and the pointer result, in the table the
// form works on.
[[nodiscard]] bool pointer_form_body(EngineState* st, PointerForm form, Value* result) {
    CHECK(read_pointer_name(st, form));
    const uint16_t slot = st->lexer.slot;
    VariableSlot* var = slot_at(st, slot);
    switch (form) {
    case PointerForm::Global:
        if (!(var->v.flags & VF_DEFINED_MASK)) return raise_hint(st, Err::PointerError, Err::HintVariableNotFound);
        if (!(var->marks & VARMARK_GLOBAL)) return raise_hint(st, Err::PointerError, Err::HintNotGlobalVariable);
        break;
    case PointerForm::GlobalTest:
        SetInteger(&result->v, RK_VALUE, 0, is_global(*var) ? 1 : 0);
        break;
    case PointerForm::GlobalDefine:
        var->marks |= VARMARK_GLOBAL;
        break;
    case PointerForm::Persistent:
        CHECK(read_initial_value(st, slot, !(var->v.flags & VF_DEFINED_MASK)));
        break;
    case PointerForm::MakePointer:
        break;
    }
    if (form != PointerForm::Persistent) CHECK(next_token(st));
    CHECK(expect_close(st));
    if (form == PointerForm::GlobalTest) return true;
    return make_pointer_value(st, slot, result);
}

// PtrGlobalDefine(name), PtrGlobal(name), PtrGlobalTest(name),
// PtrPersistent(name, value), ?makepointer(name). All but ?makepointer work
// in the main script's table whatever table is current.
[[nodiscard]] bool form_pointer(EngineState* st, PointerForm form, Value* result) {
    if (form == PointerForm::GlobalDefine && st->table.id != 0)
        return raise_hint(st, Err::PointerError, Err::HintPtrGlobalDefineMainOnly);
    SetInteger(&result->v, RK_VALUE, 0, 1);
    const bool switched = form != PointerForm::MakePointer && st->table.id != 0;
    TableSave save = {};
    if (switched) CHECK(SwitchTable(st, 0, &save));
    bool ok = pointer_form_body(st, form, result);
    if (switched) ok = RestoreTable(st, &save) && ok;
    // The token after ")" belongs to the caller's table again.
    return ok && next_token(st);
}

}  // namespace

bool EvaluateSpecialForm(EngineState* st, uint16_t id, Value* result) {
    CHECK(open_list(st));
    switch (id) {
    case KWID_DROP:
        return form_drop(st, result);
    case KWID_IS_DEFINED:
        return form_is_defined(st, result);
    case KWID_VAR_TYPE:
        return form_var_type(st, result);
    case KWID_OBJECT_TYPE_GET:
        return form_object_type_get(st, result);
    case KWID_MAKE_POINTER:
        return form_pointer(st, PointerForm::MakePointer, result);
    case KWID_PTR_GLOBAL_DEFINE:
        return form_pointer(st, PointerForm::GlobalDefine, result);
    case KWID_PTR_GLOBAL:
        return form_pointer(st, PointerForm::Global, result);
    case KWID_PTR_GLOBAL_TEST:
        return form_pointer(st, PointerForm::GlobalTest, result);
    case KWID_PTR_PERSISTENT:
        return form_pointer(st, PointerForm::Persistent, result);
    default:
        return raise(st, Err::FunctionNotDefined);
    }
}
