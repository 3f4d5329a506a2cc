// Start-up timing with the performance counter; see startup_timing.h.
#include "startup_timing.h"

#include <stdio.h>
#include <windows.h>

namespace {

bool g_enabled = false;
LARGE_INTEGER g_frequency;
LARGE_INTEGER g_main_entered;
LARGE_INTEGER g_steps[static_cast<int>(StartupStep::Count)];
// Wall time from process creation to main, in milliseconds: the part of the
// start-up that belongs to the loader and the DLLs' own initialisation.
double g_before_main_ms = 0;

double elapsed_ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    if (from.QuadPart == 0 || to.QuadPart == 0) return 0;
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(g_frequency.QuadPart);
}

double ms_since_process_creation() {
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER a, b;
    a.LowPart = created.dwLowDateTime;
    a.HighPart = created.dwHighDateTime;
    b.LowPart = now.dwLowDateTime;
    b.HighPart = now.dwHighDateTime;
    return b.QuadPart > a.QuadPart ? static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0 : 0;
}

}  // namespace

void enable_startup_timing() {
    g_enabled = true;
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_main_entered);
    g_before_main_ms = ms_since_process_creation();
}

void note_startup_step(StartupStep step) {
    if (g_enabled) QueryPerformanceCounter(&g_steps[static_cast<int>(step)]);
}

void report_startup_timing() {
    if (!g_enabled) return;
    const LARGE_INTEGER& loaded = g_steps[static_cast<int>(StartupStep::DllLoaded)];
    const LARGE_INTEGER& started = g_steps[static_cast<int>(StartupStep::EngineStarted)];
    const LARGE_INTEGER& ran = g_steps[static_cast<int>(StartupStep::ScriptRan)];
    fprintf(stderr,
            "qob: timing: process start to main %.1f ms, DLL load %.1f ms, engine init %.1f ms, "
            "script run %.1f ms\n",
            g_before_main_ms, elapsed_ms(g_main_entered, loaded), elapsed_ms(loaded, started),
            elapsed_ms(started, ran));
}
