// Builds the function-coverage list: every built-in function and
// statement-like function of the keyword table, its argument description
// and whether a handler table implements it.
#include "function_list.h"

#include <stdio.h>
#include "lang/keyword_table.h"
#include "lib/builtins.h"

namespace {

char kind_letter(ArgKind kind) {
    switch (kind) {
    case AK_INTEGER: return 'I';
    case AK_ANSI: return 'S';
    case AK_FLOAT: return 'F';
    case AK_ARRAY: return 'A';
    case AK_VARIANT: return 'V';
    case AK_WIDE: return 'W';
    case AK_TEXT: return 'T';
    case AK_NT_TEXT: return 'N';
    case AK_MIXED_TEXT: return 'M';
    case AK_ANY: return 'X';
    default: return '?';
    }
}

// "2+1 SAI", "0", "(own list)": the form the language's reference uses.
std::string argument_description(const KeywordEntry& entry) {
    const int required = entry.value & 0xFF;
    const int optional = (entry.value >> 8) & 0xFF;
    if (required == OWN_ARGUMENT_LIST) return "(own list)";
    std::string text = std::to_string(required);
    if (optional) text += "+" + std::to_string(optional);
    const uint64_t kinds = static_cast<uint64_t>(entry.kinds_high) << 32 | entry.kinds_low;
    if (required + optional) text += ' ';
    for (int i = 1; i <= required + optional; ++i) text += kind_letter(argument_kind(kinds, i));
    return text;
}

// Two entries have no name of their own; control bytes would garble the table.
std::string display_name(const KeywordEntry& entry) {
    for (const char* p = entry.name; *p; ++p)
        if (static_cast<unsigned char>(*p) < 0x20) return "(unnamed)";
    return "`" + std::string(entry.name) + "`";
}

}  // namespace

std::string function_list_text() {
    std::string rows;
    int functions = 0, implemented = 0;
    for (const KeywordEntry& entry : KeywordTable) {
        const bool statement = entry.type == KT_STATEMENT;
        if (entry.type != KT_FUNCTION && !statement) continue;
        const bool has_handler = builtin_handler(static_cast<uint16_t>(entry.id)) != nullptr;
        const char* state = statement ? "statement" : has_handler ? "yes" : "no";
        if (!statement) {
            ++functions;
            implemented += has_handler;
        }
        rows += "| " + display_name(entry) + " | " + std::to_string(entry.id) + " | " +
                argument_description(entry) + " | " + state + " |\n";
    }

    std::string text =
        "# Built-in functions\n"
        "\n"
        "Generated from the keyword table and the handler tables; do not edit by hand.\n"
        "Regenerate with `";
    text += kFunctionListCommand;
    text +=
        "`; the unit test\n"
        "`FunctionList.IsCurrent` fails while this file is out of date.\n"
        "\n"
        "Arguments: the required count, `+` and the optional count, then one letter\n"
        "per argument: I integer, S ANSI text, F float, A array, V VARIANT, W wide\n"
        "text, T text (wide when any T argument is wide), N text (wide on NT), M text\n"
        "(wide on NT when a T or M argument is wide), X any value. \"(own list)\"\n"
        "functions read their own arguments. \"statement\" entries are run by the\n"
        "statement executor, not through a handler table.\n"
        "\n";
    text += "Implemented: " + std::to_string(implemented) + " of " + std::to_string(functions) +
            " functions.\n\n";
    text += "| Function | Id | Arguments | Implemented |\n|---|---|---|---|\n";
    return text + rows;
}
