// Process-wide state written by the first initialisation: operating-system
// flags, the script byte permutation, the module handle and the busy counter.
#include "base/process_tables.h"

#include <stdlib.h>
#include "base/error_numbers.h"
#include "base/messages.h"

OsInfo g_os;
uint8_t ScriptBytePermutation[256];
uint8_t ScriptByteInverse[256];
HINSTANCE ModuleInstance;
volatile LONG EntryBusy;
char MenuWordPopup[64];
char MenuWordItem[64];

HINSTANCE engine_module() { return ModuleInstance ? ModuleInstance : GetModuleHandleA(nullptr); }

void detect_operating_system() {
    g_os = OsInfo{};
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    g_os.major = info.dwMajorVersion;
    g_os.minor = info.dwMinorVersion;
    g_os.build = info.dwBuildNumber;
    g_os.is_9x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    g_os.is_nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    g_os.is_win95 = g_os.is_9x && g_os.major == 4 && g_os.minor == 0;
    g_os.is_win95_gold = g_os.is_win95 && (g_os.build & 0xFFFF) < 1001;
    g_os.is_win98 = g_os.is_9x && g_os.major == 4 && g_os.minor == 10;
    g_os.is_winme = g_os.is_9x && g_os.major == 4 && g_os.minor == 90;
    g_os.is_98_or_me = g_os.is_win98 || g_os.is_winme;
    g_os.is_9x_or_nt4 = g_os.is_9x || (g_os.is_nt && g_os.major >= 4);
    g_os.is_nt5_plus = g_os.is_nt && g_os.major >= 5;
    g_os.is_nt5_later = g_os.is_nt && g_os.major == 5 && g_os.minor != 0;
    g_os.is_nt6_plus = g_os.is_nt && g_os.major >= 6;
    g_os.dbcs = GetSystemMetrics(SM_DBCSENABLED);
    if (g_os.is_nt5_plus) {
        typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
        auto is_wow64 = reinterpret_cast<IsWow64Fn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "IsWow64Process")));
        BOOL wow = FALSE;
        if (is_wow64 && is_wow64(GetCurrentProcess(), &wow)) g_os.is_wow64 = wow != FALSE;
    }
    g_os.detected = true;
}

void seed_random() {
    // The tick count bounds the seed; a seed of 1 would restart the C
    // library's default sequence, so it is avoided.
    unsigned r;
    do {
        DWORD ticks = GetTickCount();
        r = ticks ? (unsigned)rand() % ticks : 0;
    } while (r == 1);
    srand(r);
}

void build_byte_permutation() {
    bool used[256] = {};
    for (int i = 0; i < 256; ++i) {
        int k = rand() % (256 - i);
        int value = 0;
        for (;; ++value) {
            if (used[value]) continue;
            if (k-- == 0) break;
        }
        used[value] = true;
        ScriptBytePermutation[i] = (uint8_t)value;
        ScriptByteInverse[value] = (uint8_t)i;
    }
}

void load_menu_words(EngineState* st) {
    message_text(st, static_cast<int>(Err::PopupMenuWord), MenuWordPopup, sizeof MenuWordPopup);
    message_text(st, static_cast<int>(Err::MenuItemWord), MenuWordItem, sizeof MenuWordItem);
}
