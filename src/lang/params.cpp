// The script-parameter splitter: a parameter line into param1, param2 ...
// and their count in param0, in an ANSI and a wide form.
#include "lang/params.h"

#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "lang/variables.h"

namespace {

template <typename Ch>
inline bool is_blank(Ch c) {
    return c == ' ' || c == '\t';
}

template <typename Ch>
inline bool is_quote(Ch c) {
    return c == '"' || c == '\'' || c == '`';
}

template <typename Ch>
const Ch* skip_blanks(const Ch* p) {
    while (is_blank(*p)) ++p;
    return p;
}

// The k of a name "param<k>", 0 for any other name.
uint32_t param_number(const char* name) {
    if (strncmp(name, "param", 5) != 0 || !name[5]) return 0;
    uint32_t k = 0;
    for (const char* p = name + 5; *p; ++p) {
        if (*p < '0' || *p > '9' || k > 100000000u) return 0;
        k = k * 10 + static_cast<uint32_t>(*p - '0');
    }
    return k;
}

// A script may leave any number in param0; the deletion loop stops at the
// highest parameter variable that actually exists.
uint32_t highest_param_number(EngineState* st) {
    uint32_t highest = 0;
    for (uint16_t i = 1; i < st->table.used; ++i) {
        uint32_t k = param_number(slot_at(st, i)->name);
        if (k > highest) highest = k;
    }
    return highest;
}

// Deletes param1 .. paramN of an earlier call, N being param0's integer.
void drop_previous_parameters(EngineState* st) {
    uint16_t index = FindSlot(st, "param0");
    if (index == NO_SLOT) return;
    const ValuePayload& count = slot_at(st, index)->v;
    if (!(count.flags & VF_INT) || count.integer <= 0) return;
    uint32_t last = static_cast<uint32_t>(count.integer);
    uint32_t highest = highest_param_number(st);
    if (last > highest) last = highest;
    char name[VARIABLE_NAME_BYTES];
    for (uint32_t k = 1; k <= last; ++k) {
        snprintf(name, sizeof name, "param%u", k);
        uint16_t slot = find_slot_lowered(st, name, strlen(name));
        if (slot != NO_SLOT) drop_slot(st, slot);
    }
}

// Copies one item into item (at most capacity - 1 characters); returns the
// position after it. Quoted parts run to the same quote character, a doubled
// quote inside standing for one; they join the unquoted parts around them.
template <typename Ch>
const Ch* read_item(const Ch* p, Ch* item, size_t capacity) {
    size_t n = 0;
    auto put = [&](Ch c) {
        if (n + 1 < capacity) item[n++] = c;
    };
    while (*p && !is_blank(*p)) {
        if (!is_quote(*p)) {
            put(*p++);
            continue;
        }
        const Ch quote = *p++;
        while (*p) {
            if (*p != quote) {
                put(*p++);
            } else if (p[1] == quote) {
                put(quote);
                p += 2;
            } else {
                ++p;
                break;
            }
        }
    }
    item[n] = 0;
    return p;
}

template <typename Ch>
int split_parameters(EngineState* st, const Ch* line) {
    constexpr uint32_t kind = sizeof(Ch) == 1 ? VF_STRING : VF_UNICODE;
    drop_previous_parameters(st);
    if (!set_variable_int(st, "param0", 0)) return 0;
    if (!line) return 0;
    int count = 0;
    Ch item[LINE_BUFFER_BYTES];
    char name[VARIABLE_NAME_BYTES];
    for (const Ch* p = skip_blanks(line); *p; p = skip_blanks(p)) {
        p = read_item(p, item, LINE_BUFFER_BYTES);
        snprintf(name, sizeof name, "param%d", count + 1);
        if (!SetVariable(st, name, kind, item)) break;
        ++count;
    }
    // A failed store leaves its error pending; param0 counts what was stored.
    if (count > 0) static_cast<void>(set_variable_int(st, "param0", count));
    return count;
}

}  // namespace

int SetScriptParameters(EngineState* st, const char* line) { return split_parameters(st, line); }

int SetScriptParametersW(EngineState* st, const wchar_t* line) { return split_parameters(st, line); }
