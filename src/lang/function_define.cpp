// The user-defined function table: #DefineFunction / #DefineSubroutine
// headers, body copies made at #EndFunction / #EndSubroutine, the name
// lookups the lexer uses, and the release of it all.
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/charclass.h"
#include "lang/functions.h"
#include "lang/keyword_table.h"
#include "lang/token_cache.h"

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

const char* skip_blanks(const char* p) {
    while (is_blank(*p)) ++p;
    return p;
}

// Copies the word at p (lower-cased) up to one of the stop characters;
// false when it is empty or longer than 30 characters.
bool read_word(const char*& p, const char* stops, char out[UDF_NAME_MAX + 1], uint16_t* length) {
    size_t n = 0;
    for (; *p && !strchr(stops, *p); ++p) {
        if (n == UDF_NAME_MAX) return false;
        out[n++] = static_cast<char>(char_lower(static_cast<uint8_t>(*p)));
    }
    out[n] = '\0';
    if (length) *length = static_cast<uint16_t>(n);
    return n > 0;
}

bool name_defined(EngineState* st, const char* name, uint16_t length) {
    for (int i = 0; i < st->function_count; ++i) {
        const FunctionDescriptor* d = function_descriptor(st, i);
        if (d && d->name_length == length && memcmp(d->name, name, length) == 0) return true;
    }
    return false;
}

// "(p1, p2, ...)" and nothing after it but blanks and a comment.
bool read_parameters(const char* p, FunctionDescriptor* d) {
    p = skip_blanks(p);
    if (*p++ != '(') return false;
    p = skip_blanks(p);
    if (*p != ')') {
        for (;;) {
            if (d->parameter_count == UDF_PARAMETERS_MAX) return false;
            p = skip_blanks(p);
            if (!read_word(p, " \t,)", d->parameters[d->parameter_count], nullptr)) return false;
            ++d->parameter_count;
            p = skip_blanks(p);
            if (*p == ')') break;
            if (*p++ != ',') return false;
        }
    }
    p = skip_blanks(p + 1);
    return *p == '\0' || *p == ';';
}

// The descriptor for the next definition (index function_count), with a new
// block of 16 when that index starts one.
FunctionDescriptor* next_descriptor(EngineState* st) {
    const int index = st->function_count;
    const int block = index / UDF_PER_BLOCK;
    if (!st->udf_blocks[block]) {
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, UDF_PER_BLOCK * sizeof(FunctionDescriptor));
        if (!handle) return nullptr;
        auto* first = static_cast<FunctionDescriptor*>(GlobalLock(handle));
        if (!first) {
            GlobalFree(handle);
            return nullptr;
        }
        st->udf_blocks[block] = handle;
        for (int i = 0; i < UDF_PER_BLOCK; ++i) st->udf_table[block * UDF_PER_BLOCK + i] = first + i;
    }
    auto* d = static_cast<FunctionDescriptor*>(st->udf_table[index]);
    memset(d, 0, sizeof *d);
    return d;
}

// The copy keeps the script's scrambling: byte i of the body is byte
// body_start + i of the script, so it unscrambles with the same position.
HGLOBAL copy_body(const ScriptBuffer& buffer, uint32_t offset, uint32_t length, uint32_t base) {
    HGLOBAL body = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    if (!body) return nullptr;
    auto* to = static_cast<uint8_t*>(GlobalLock(body));
    auto* from = static_cast<const uint8_t*>(GlobalLock(buffer.handle));
    if (to && from) {
        memcpy(to, from + offset, length);
        to[length] = scramble_byte(0, base + length);
    }
    if (from) GlobalUnlock(buffer.handle);
    if (to) GlobalUnlock(body);
    if (to && from) return body;
    GlobalFree(body);
    return nullptr;
}

// ------------------------------------------------------------------ lookup hooks

int active_count(EngineState* st) { return st->function_count; }

const char* function_name(EngineState* st, int index, uint16_t* length) {
    const FunctionDescriptor* d = function_descriptor(st, index);
    if (!d) return nullptr;
    if (length) *length = d->name_length;
    return d->name;
}

int parameter_count(EngineState* st, int index) {
    const FunctionDescriptor* d = function_descriptor(st, index);
    return d ? d->parameter_count : 0;
}

}  // namespace

FunctionDescriptor* function_descriptor(EngineState* st, int index) {
    if (index < 0 || index >= st->function_count || index >= UDF_SLOTS) return nullptr;
    auto* d = static_cast<FunctionDescriptor*>(st->udf_table[index]);
    return d && d->body ? d : nullptr;
}

int ParseFunctionHeader(EngineState* st, const char* text, FunctionDescriptor* d) {
    const char* p = skip_blanks(text);
    if (!read_word(p, " \t(", d->name, &d->name_length)) return 0;
    if (name_defined(st, d->name, d->name_length)) {
        // The first definition stays in force.
        st->skipping_definition = 1;
        return 1;
    }
    return read_parameters(p, d) ? 1 : 0;
}

bool open_function_definition(EngineState* st, bool subroutine, const char* header,
                              const ScriptBuffer& buffer, uint32_t position) {
    if (st->in_definition) return raise(st, subroutine ? Err::NestedDefineSubroutine : Err::NestedDefineFunction);
    if (st->function_count >= UDF_SLOTS) return raise(st, Err::TooManyUdfs);
    FunctionDescriptor* d = next_descriptor(st);
    if (!d) return raise(st, Err::UdfTableAllocFailed);
    st->skipping_definition = 0;
    if (!ParseFunctionHeader(st, header, d))
        return raise(st, subroutine ? Err::DefineSubroutineSyntax : Err::DefineFunctionSyntax);
    if (!st->skipping_definition) {
        lstrcpynA(d->script_path, st->script_path, sizeof d->script_path);
        d->body_start = buffer.base + position;
        d->assign_target = -1;
        d->subroutine = subroutine ? 1 : 0;
    }
    st->in_definition = 1;
    return true;
}

bool close_function_definition(EngineState* st, bool subroutine, const char* line, const ScriptBuffer& buffer,
                               uint32_t position) {
    if (!st->in_definition)
        return raise(st, subroutine ? Err::EndSubroutineWithoutDefine : Err::EndFunctionWithoutDefine);
    st->in_definition = 0;
    if (st->skipping_definition) {
        st->skipping_definition = 0;
        return true;
    }
    auto* d = static_cast<FunctionDescriptor*>(st->udf_table[st->function_count]);
    // The body ends where the end line begins: its length and its line end
    // (a CR LF was folded into a blank that the line keeps).
    const uint32_t offset = d->body_start - buffer.base;
    const int64_t length = static_cast<int64_t>(position) - static_cast<int64_t>(strlen(line)) - offset - 1;
    d->body_length = length > 0 ? static_cast<uint32_t>(length) : 0;
    d->body = copy_body(buffer, offset, d->body_length, d->body_start);
    if (!d->body) return raise(st, Err::UdfTableAllocFailed);
    ++st->function_count;
    note_name_tables_changed();
    return true;
}

int release_functions(EngineState* st) {
    unpark_script(st);
    int freed = 0;
    for (int i = 0; i < UDF_SLOTS; ++i) {
        auto* d = static_cast<FunctionDescriptor*>(st->udf_table[i]);
        if (d && d->body) {
            GlobalFree(d->body);
            d->body = nullptr;
            ++freed;
        }
        st->udf_table[i] = nullptr;
    }
    for (HGLOBAL& block : st->udf_blocks) {
        if (!block) continue;
        GlobalUnlock(block);
        GlobalFree(block);
        block = nullptr;
    }
    st->function_count = 0;
    note_name_tables_changed();
    st->in_definition = 0;
    st->skipping_definition = 0;
    return freed;
}

bool DiscardFunctions(EngineState* st, int* freed) {
    if (st->function_nesting > 0 || st->current_function != NO_FUNCTION) return raise(st, Err::IntControl78InUdf);
    *freed = release_functions(st);
    return true;
}

void install_function_lookup() {
    UserFunctions.active_count = active_count;
    UserFunctions.name = function_name;
    UserFunctions.parameter_count = parameter_count;
}
