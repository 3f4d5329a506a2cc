// System information of the window family: screen metrics, memory, the
// processor, the system version, system parameters, and the help viewer.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

constexpr int32_t kMegabyte = 1024 * 1024;
// WinConfig's flags: protected mode, enhanced mode, an NT-family system.
constexpr int32_t kConfigFlags = 0x0001 | 0x0020 | 0x4000;

void text_result(EngineState* st, Value* result, const char* text, int n) {
    (void)set_result<char>(st, result, Span<char>{text, n > 0 ? static_cast<size_t>(n) : 0});
}

// WinMetrics(request) -> a system metric: 0 and up as the platform numbers
// them; -1 bits per pixel, -2 colour planes, -3 and -4 pixels per inch
// across and down; 0 for other requests
BUILTIN(win_metrics) {
    const int32_t request = args[1].v.integer;
    if (request >= 0) {
        result->v.integer = GetSystemMetrics(request);
        return;
    }
    static const int kDeviceCaps[] = {BITSPIXEL, PLANES, LOGPIXELSX, LOGPIXELSY};
    if (request < -4) return;
    HDC screen = GetDC(nullptr);
    result->v.integer = GetDeviceCaps(screen, kDeviceCaps[-request - 1]);
    ReleaseDC(nullptr, screen);
}

int32_t clamp_to_int(DWORDLONG value) { return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(value); }

// WinResources(request, unit = 0) -> memory figures: 0 the memory load in
// percent; 1 and 2 total and free physical memory, 3 and 4 the page file,
// 5 and 6 the address space; in megabytes, or in kilobytes with unit 1
BUILTIN(win_resources) {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory)) return;
    const DWORDLONG figures[] = {memory.dwMemoryLoad,  memory.ullTotalPhys,     memory.ullAvailPhys,
                                 memory.ullTotalPageFile, memory.ullAvailPageFile, memory.ullTotalVirtual,
                                 memory.ullAvailVirtual};
    const int32_t request = args[1].v.integer;
    if (request < 0 || request > 6) return;
    const DWORDLONG unit = optional_arg(args, count, 2, 0) == 1 ? 1024 : kMegabyte;
    result->v.integer = clamp_to_int(request == 0 ? figures[0] : figures[request] / unit);
}

// WinSysInfo() -> "processors,architecture,page size,allocation granularity,processor level,processor revision"
BUILTIN(win_sys_info) {
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    char text[128];
    const int n = snprintf(text, sizeof text, "%lu,%u,%lu,%lu,%u,%u", info.dwNumberOfProcessors,
                           info.wProcessorArchitecture, info.dwPageSize, info.dwAllocationGranularity,
                           info.wProcessorLevel, info.wProcessorRevision);
    text_result(st, result, text, n);
}

// The system's own version: GetVersionEx reports what the program's manifest allows.
bool system_version(OSVERSIONINFOEXW* version) {
    typedef LONG(WINAPI * GetVersion)(OSVERSIONINFOEXW*);
    const auto call = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    version->dwOSVersionInfoSize = sizeof *version;
    return call && call(version) == 0;
}

// WinVersion(level) -> 0 minor version, 1 major version, 2 build, 3 platform
// (2 for the NT family), 4 "major.minor.build", 5 the service pack text
BUILTIN(win_version) {
    const int32_t level = args[1].v.integer;
    if (level < 0 || level > 5) return (void)raise(st, Err::WinVersionBadLevel);
    OSVERSIONINFOEXW version{};
    if (!system_version(&version)) {
        version.dwMajorVersion = g_os.major;
        version.dwMinorVersion = g_os.minor;
        version.dwBuildNumber = g_os.build;
        version.dwPlatformId = g_os.is_nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    }
    const DWORD numbers[] = {version.dwMinorVersion, version.dwMajorVersion, version.dwBuildNumber & 0xFFFF,
                             version.dwPlatformId};
    char text[160];
    int n;
    switch (level) {
    case 4:
        n = snprintf(text, sizeof text, "%lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                     version.dwBuildNumber & 0xFFFF);
        return text_result(st, result, text, n);
    case 5:
        n = WideCharToMultiByte(st->code_page, 0, version.szCSDVersion, -1, text, sizeof text, nullptr, nullptr);
        return text_result(st, result, text, n - 1);
    default: result->v.integer = static_cast<int32_t>(numbers[level]);
    }
}

// WinConfig() -> the system's mode flags
BUILTIN(win_config) { result->v.integer = kConfigFlags; }

// WinParmGet(request) -> the integer a system-parameter query reports, 0 when it fails
BUILTIN(win_parm_get) {
    INT value = 0;
    if (SystemParametersInfoA(static_cast<UINT>(args[1].v.integer), 0, &value, 0)) result->v.integer = value;
}

// WinParmSet(request, value, update flags) -> 1/0: sets a system parameter that takes its value as a number
BUILTIN(win_parm_set) {
    const UINT value = static_cast<UINT>(atol(value_text(st, args[2].v)));
    result->v.integer = SystemParametersInfoA(static_cast<UINT>(args[1].v.integer), value, nullptr,
                                              static_cast<UINT>(args[3].v.integer)) != 0;
}

// ------------------------------------------------------------------ WinHelp

struct HelpCommand {
    const char* name;
    UINT command;  // 0: the HTML viewer
};
constexpr HelpCommand kHelpCommands[] = {
    {"CONTENTS", HELP_CONTENTS},     {"PARTIALKEY", HELP_PARTIALKEY}, {"COMMAND", HELP_COMMAND},
    {"QUIT", HELP_QUIT},             {"HELPONHELP", HELP_HELPONHELP}, {"CONTEXT", HELP_CONTEXT},
    {"HTML", 0},
};

// Starts the HTML help viewer on `file` without waiting for it.
bool start_html_help(const char* file) {
    char line[MAX_PATH + 16];
    snprintf(line, sizeof line, "HH.EXE \"%s\"", file);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// WinHelp(help file, command, parameter) -> 1/0. A file that is not there
// is not handed to a help viewer, whose own complaint nobody might answer.
BUILTIN(win_help) {
    const char* file = value_text(st, args[1].v);
    const char* name = value_text(st, args[2].v);
    const char* parameter = value_text(st, args[3].v);
    const HelpCommand* command = nullptr;
    for (const HelpCommand& c : kHelpCommands) {
        if (lstrcmpiA(c.name, name) == 0) command = &c;
    }
    if (!command) return (void)raise(st, Err::WinHelpBadSubCommand);
    if (command->command == HELP_QUIT) {
        // Without a running viewer there is nothing to quit.
        if (FindWindowA("MS_WINHELP", nullptr)) result->v.integer = WinHelpA(st->host_window, file, HELP_QUIT, 0) != 0;
        return;
    }
    const DWORD attributes = GetFileAttributesA(file);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (command->command == 0) {
        result->v.integer = start_html_help(file);
        return;
    }
    ULONG_PTR data = 0;
    if (command->command == HELP_CONTEXT) data = static_cast<ULONG_PTR>(atol(parameter));
    else if (command->command == HELP_PARTIALKEY || command->command == HELP_COMMAND)
        data = reinterpret_cast<ULONG_PTR>(parameter);
    result->v.integer = WinHelpA(st->host_window, file, command->command, data) != 0;
}

}  // namespace

constexpr BuiltinRow kWindowInfoBuiltins[] = {
    BUILTIN_ROW("winconfig", win_config),
    BUILTIN_ROW("winhelp", win_help),
    BUILTIN_ROW("winmetrics", win_metrics),
    BUILTIN_ROW("winparmget", win_parm_get),
    BUILTIN_ROW("winparmset", win_parm_set),
    BUILTIN_ROW("winresources", win_resources),
    BUILTIN_ROW("winsysinfo", win_sys_info),
    BUILTIN_ROW("winversion", win_version),
};
constexpr size_t kWindowInfoBuiltinCount = sizeof(kWindowInfoBuiltins) / sizeof(kWindowInfoBuiltins[0]);
