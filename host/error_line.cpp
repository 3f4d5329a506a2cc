// Formats the error line of a stopped run and derives the exit status from
// how the run ended.
#include "error_line.h"

#include <stdio.h>
#include <string>
#include "console_output.h"

namespace {

// The engine's terminating code of Exit.
constexpr int32_t kExitCode = 9000;

// The engine's error text repeats the number ("3057:  Variable ..."); the
// line shows it once.
const char* message_without_number(const char* text) {
    const char* p = text;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == text || *p != ':') return text;
    ++p;
    while (*p == ' ') ++p;
    return p;
}

// Message texts may hold line feeds and tabs; the report is one line.
std::string single_line(const char* text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return line;
}

}  // namespace

int run_exit_status(bool ran, const KestrRunReport& report) {
    if (!ran) return EXIT_FAILED;
    return report.run_error == 0 || report.run_error == kExitCode ? EXIT_OK : EXIT_FAILED;
}

void print_error_line(const KestrRunReport& report, const char* script) {
    if (report.error == 0) return;
    const char* file = report.file[0] ? report.file : script;
    std::string message = single_line(message_without_number(report.message));
    char head[MAX_PATH + 64];
    snprintf(head, sizeof head, "%s(%d): error %d: ", file, static_cast<int>(report.line),
             static_cast<int>(report.error));
    write_line(GetStdHandle(STD_ERROR_HANDLE), (head + message).c_str());
}
