// qob: the engine's console host. Loads KESTR44I.DLL beside it, starts the
// engine in silent mode and runs a script with its parameters; the script
// reaches the console through the host functions StdOut, StdErr, StdIn and
// StdInEof.
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <string>
#include "cancel_key.h"
#include "console_functions.h"
#include "console_output.h"
#include "engine_host.h"
#include "error_line.h"
#include "params.h"
#include "script_file.h"
#include "startup_timing.h"

namespace {

constexpr const char* kRunnerVersion = "1.0.0";
// The engine's "Execution Error": a failure it gave no number of its own.
constexpr int32_t kUnknownFailure = 111;

struct Options {
    bool utf8 = false;
    const char* log_file = nullptr;
    const char* trace_file = nullptr;
    const char* script = nullptr;
    int parameter_count = 0;
    const char* const* parameters = nullptr;
};

void print_usage(FILE* out) {
    fputs("usage: qob [options] SCRIPT [PARAM...]\n"
          "Runs a QOB script with the KESTR44I engine. The PARAMs become param1...\n"
          "and their count param0.\n"
          "\n"
          "options:\n"
          "  --utf8        write and read the console in UTF-8\n"
          "  --log=FILE    append the messages the engine would have shown to FILE\n"
          "  --trace FILE  append a debug trace of every statement to FILE\n"
          "  --timing      report the start-up times (DLL load, engine init, run) on\n"
          "                standard error\n"
          "  --version     show the engine's and the runner's versions\n"
          "  --help        show this text\n"
          "\n"
          "exit status: 0 the script ended normally, 1 it stopped on an error or a\n"
          "cancel (Ctrl+C), 2 the runner could not start it\n",
          out);
}

int usage_error(const char* fmt, const char* what) {
    fprintf(stderr, "qob: ");
    fprintf(stderr, fmt, what);
    fputs("\n", stderr);
    print_usage(stderr);
    return EXIT_USAGE;
}

int fail(const char* why) {
    fprintf(stderr, "qob: %s\n", why);
    return EXIT_USAGE;
}

int show_version() {
    EngineHost host;
    char why[512], version[256];
    if (!load_engine(&host, why, sizeof why)) return fail(why);
    if (!engine_version(&host, version, sizeof version)) return fail("the engine has no version text");
    printf("KESTR44I engine %s\nqob runner %s\n", version, kRunnerVersion);
    return EXIT_OK;
}

bool file_exists(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The engine finds include files and names error lines by this path.
std::string full_path(const char* path) {
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : std::string(path);
}

// Silent mode always: no dialog may wait for a person at a console.
void configure_engine(const EngineHost& host, const Options& options, const std::string& script) {
    const std::string version = std::string("qob ") + kRunnerVersion;
    const char* log = options.log_file ? options.log_file : "";
    engine_service(&host, KESTR_SVC_SILENT, reinterpret_cast<uintptr_t>(log), 0, 1);
    engine_service(&host, KESTR_SVC_HOST_VERSION, reinterpret_cast<uintptr_t>(version.c_str()));
    engine_service(&host, KESTR_SVC_SCRIPT_PATH, reinterpret_cast<uintptr_t>(script.c_str()));
    const std::string line = parameter_line(options.parameter_count, options.parameters);
    engine_service(&host, KESTR_SVC_PARAMETERS, reinterpret_cast<uintptr_t>(line.c_str()));
    if (options.trace_file)
        engine_service(&host, KESTR_SVC_TRACE, reinterpret_cast<uintptr_t>(options.trace_file), 0, 1);
}

// A failed run that left no report of its own is named by the number it
// ended with and the last message the silent mode kept, so that the error
// line still says why.
void explain_unreported(const EngineHost& host, KestrRunReport* report) {
    if (report->error != 0) return;
    char text[sizeof report->message], caption[sizeof report->message];
    text[0] = caption[0] = '\0';
    engine_service(&host, KESTR_SVC_SILENT_MESSAGE, reinterpret_cast<uintptr_t>(text),
                   reinterpret_cast<uintptr_t>(caption), static_cast<int32_t>(sizeof text));
    report->error = report->run_error ? report->run_error : kUnknownFailure;
    snprintf(report->message, sizeof report->message, "%s",
             caption[0] ? caption : "the engine could not run the script");
}

int run_loaded(const EngineHost& host, const Options& options) {
    if (!host.run || !host.services)
        return fail("this engine build cannot run scripts (no ProcessDaBatBuffer or DLLServices)");
    char why[512];
    const std::string script = full_path(options.script);
    HGLOBAL text = read_script_file(script.c_str(), why, sizeof why);
    if (!text) return fail(why);
    configure_engine(host, options, script);
    watch_cancel_keys(host.state, host.services);
    const bool ran = run_engine_script(&host, text, reinterpret_cast<void*>(&console_function_handler),
                                       kConsoleFunctions);
    note_startup_step(StartupStep::ScriptRan);
    GlobalFree(text);
    KestrRunReport report;
    last_run_report(&host, &report);
    const int status = run_exit_status(ran, report);
    if (status != EXIT_OK) {
        explain_unreported(host, &report);
        print_error_line(report, script.c_str());
    }
    return status;
}

int run_script(const Options& options) {
    EngineHost host;
    char why[512];
    if (!load_engine(&host, why, sizeof why)) return fail(why);
    note_startup_step(StartupStep::DllLoaded);
    if (!start_engine(&host, "qob", why, sizeof why)) {
        stop_engine(&host);
        return fail(why);
    }
    note_startup_step(StartupStep::EngineStarted);
    set_output_utf8(options.utf8);
    const int status = run_loaded(host, options);
    stop_engine(&host);
    return status;
}

// Scripts nest by recursion on the thread that runs them: a hundred
// functions or Calls deep, each nesting its lines to the engine's limit,
// take some 20 MB on Win64 (less on Win32), far more than a console
// program's main thread has. Only address space is reserved; pages are
// committed as the stack grows.
constexpr SIZE_T kScriptStackBytes = 256u * 1024 * 1024;

struct ScriptJob {
    const Options* options;
    int status;
};

DWORD WINAPI script_thread(void* parameter) {
    auto* job = static_cast<ScriptJob*>(parameter);
    job->status = run_script(*job->options);
    return 0;
}

// Every call into the engine happens on this one thread.
int run_script_on_large_stack(const Options& options) {
    ScriptJob job{&options, EXIT_USAGE};
    HANDLE thread = CreateThread(nullptr, kScriptStackBytes, script_thread, &job,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return fail("cannot start the thread that runs the script");
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return job.status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        const char* option = argv[i];
        if (strcmp(option, "--version") == 0) return show_version();
        if (strcmp(option, "--help") == 0) {
            print_usage(stdout);
            return EXIT_OK;
        }
        if (strcmp(option, "--utf8") == 0) {
            options.utf8 = true;
        } else if (strcmp(option, "--timing") == 0) {
            enable_startup_timing();
        } else if (strcmp(option, "--trace") == 0) {
            if (++i >= argc || !argv[i][0]) return usage_error("%s", "--trace needs a file name");
            options.trace_file = argv[i];
        } else if (strncmp(option, "--trace=", 8) == 0 && option[8]) {
            options.trace_file = option + 8;
        } else if (strncmp(option, "--log=", 6) == 0 && option[6]) {
            options.log_file = option + 6;
        } else {
            return usage_error("unknown option %s", option);
        }
    }
    if (i >= argc) return usage_error("%s", "no script given");
    if (!file_exists(argv[i])) return usage_error("no such script: %s", argv[i]);
    options.script = argv[i];
    options.parameter_count = argc - i - 1;
    options.parameters = argv + i + 1;
    const int status = run_script_on_large_stack(options);
    report_startup_timing();
    return status;
}
