// The one line a failed run leaves on standard error, and the exit status.
#pragma once

#include "kestr44i.h"

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;  // an error or a cancel stopped the script
constexpr int EXIT_USAGE = 2;   // the runner's own usage errors

// EXIT_OK when the script ended normally (end of its text, Exit, Return at
// the top level), else EXIT_FAILED; `ran` is false when the engine could not
// run the script at all.
int run_exit_status(bool ran, const KestrRunReport& report);

// "FILE(LINE): error NUMBER: MESSAGE" for the report's error; FILE falls
// back to `script` when the report names none. Nothing when no error was
// reported.
void print_error_line(const KestrRunReport& report, const char* script);
