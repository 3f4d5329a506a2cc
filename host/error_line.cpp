// Formats the error line of a stopped run and derives the exit status from
// how the run ended.
#include "error_line.h"

#include <stdio.h>
#include <stdlib.h>
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

// Under Wine the Linux wrapper sets QOB_LINUX_PATHS so that the error line
// names the file as a Linux shell would: drive Z: is Wine's view of "/" and
// a relative path only swaps its separators. Other drives, UNC paths and
// text that is no path (a colon is never part of a Windows file name) stay
// as they are.
std::string linux_form(const char* file) {
    std::string path(file);
    if ((path[0] == 'Z' || path[0] == 'z') && path[1] == ':' && path[2] == '\\') path.erase(0, 2);
    if (path.find(':') != std::string::npos || path.compare(0, 2, "\\\\") == 0) return file;
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool linux_paths_wanted() {
    const char* wanted = getenv("QOB_LINUX_PATHS");
    return wanted && wanted[0] == '1';
}

}  // namespace

int run_exit_status(bool ran, const KestrRunReport& report) {
    if (!ran) return EXIT_FAILED;
    return report.run_error == 0 || report.run_error == kExitCode ? EXIT_OK : EXIT_FAILED;
}

void print_error_line(const KestrRunReport& report, const char* script) {
    if (report.error == 0) return;
    const char* file = report.file[0] ? report.file : script;
    const std::string shown = linux_paths_wanted() ? linux_form(file) : std::string(file);
    std::string message = single_line(message_without_number(report.message));
    char head[MAX_PATH + 64];
    snprintf(head, sizeof head, "%s(%d): error %d: ", shown.c_str(), static_cast<int>(report.line),
             static_cast<int>(report.error));
    write_line(GetStdHandle(STD_ERROR_HANDLE), (head + message).c_str());
}
