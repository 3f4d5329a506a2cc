// Builds the IntControl request list: every request number from 1 to the
// last, what it does and whether a row of the family handles it.
#include "intcontrol_list.h"

#include "base/engine_state.h"
#include "lib/intcontrol.h"

std::string intcontrol_list_text() {
    std::string rows;
    int handled = 0;
    for (int32_t number = 1; number <= IC_REQUEST_LAST; ++number) {
        const char* summary = intcontrol_request_summary(number);
        handled += summary != nullptr;
        const char* what = summary ? summary : "offered to the host (error 3171 without one)";
        rows += "| " + std::to_string(number) + " | " + what + " | " + (summary ? "yes" : "no") + " |\n";
    }
    std::string text =
        "# IntControl requests\n"
        "\n"
        "Generated from the request tables of src/lib/intcontrol.cpp; do not edit by hand.\n"
        "Regenerate with `";
    text += kIntControlListCommand;
    text +=
        "`; the unit test\n"
        "`IntControlList.IsCurrent` fails while this file is out of date.\n"
        "\n"
        "`IntControl(request, p1, p2, p3, p4)` returns text. Requests that keep a\n"
        "setting return its previous value and store p1 only when it lies in the\n"
        "range shown; otherwise the call only asks. Requests without a row are\n"
        "passed to the host's \"intcontrol\" function when it has one.\n"
        "\n";
    text += "Handled: " + std::to_string(handled) + " of " + std::to_string(IC_REQUEST_LAST) +
            " request numbers.\n\n";
    text += "| Request | What it does | Implemented |\n|---|---|---|\n";
    return text + rows;
}
