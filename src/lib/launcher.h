// The one launcher behind every function that starts a program or opens a
// document: mode checks, the shell's verbs, the search for what a program
// name stands for (App Paths, the name itself, a shortcut, a document),
// the start-up idle wait, and the message-aware wait for the program's end.
#pragma once

#include <stdint.h>

struct EngineState;

// Display modes (@NORMAL ...) and wait modes (@NOWAIT ...) as scripts pass them.
constexpr int32_t DISPLAY_ICON = 1;
constexpr int32_t DISPLAY_NORMAL = 2;
constexpr int32_t DISPLAY_ZOOMED = 3;
constexpr int32_t DISPLAY_HIDDEN = -1;
constexpr int32_t DISPLAY_HIDDEN_TOO = -2;
constexpr int32_t WAIT_NONE = 33;
constexpr int32_t WAIT_END = 34;
constexpr int32_t WAIT_PROCESS_ID = 35;
constexpr int32_t WAIT_EXIT_CODE = 36;

enum class LaunchKind {
    Process,  // a new process of the program (the Run family, RunShell, RunEnviron)
    Shell,    // the shell's verb applied to the program or document (ShellExecute)
    Print,    // the shell's "print" verb; the wait mode is not checked
};

// The account of a launch under another user (RunWithLogon).
struct LogonAccount {
    const wchar_t* user;
    const wchar_t* domain;
    const wchar_t* password;
    uint32_t logon_flags;
};

struct LaunchRequest {
    const wchar_t* program;
    const wchar_t* parameters;
    const wchar_t* directory;  // "" for the current directory
    int32_t display;
    int32_t wait;
    LaunchKind kind;
    const wchar_t* verb;           // the shell kinds; null or "" for the default verb
    const LogonAccount* account;   // null for the engine's own account
};

// Starts what the request names. The result is the process id for
// @GETPROCID, the exit code for @GETEXITCODE, else 1. False with the
// error set on a bad mode or a failed start.
[[nodiscard]] bool launch(EngineState* st, const LaunchRequest& request, int32_t* result);
