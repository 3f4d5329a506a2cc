// DoDaDllInit: the version handshake, initialisation of the state block,
// attachment of the variable table and string heap, and shutdown.
#include "engine/entry.h"

#include <string.h>
#include "base/dialog_owner.h"
#include "base/cursors.h"
#include "base/display_metrics.h"
#include "base/engine_state.h"
#include "base/heap.h"
#include "base/messages.h"
#include "base/process_tables.h"
#include "base/settings.h"
#include "base/state_lock.h"
#include "base/window_classes.h"
#include "engine/shutdown.h"
#include "lang/pump.h"
#include "lang/variables.h"

namespace {

constexpr size_t kProductNameChars = 19;

struct InitArgs {
    HWND host_window;
    HGLOBAL state_handle;
    uintptr_t arg3, arg5, arg6, arg7;
};

// DoDaDllInit is serialised process-wide: a caller waits while another runs.
class BusyGuard {
public:
    BusyGuard() {
        while (EntryBusy) Sleep(50);
        InterlockedIncrement(&EntryBusy);
    }
    ~BusyGuard() { InterlockedDecrement(&EntryBusy); }
};


intptr_t handshake(const InitArgs& a) {
    if (((a.arg3 >> 8) & 0xFF) == (KESTR_INTERFACE_WORD >> 8)) return KESTR_HANDSHAKE_OK;
    MessageBoxA(a.host_window, "Version Interface Incompatible", "DLL mismatch", MB_SETFOREGROUND);
    return 0;
}

void set_state_defaults(EngineState* st, const InitArgs& a) {
    const char* product = reinterpret_cast<const char*>(a.arg6);
    lstrcpynA(st->product_name, product ? product : "", kProductNameChars + 1);
    st->host_module = reinterpret_cast<HMODULE>(a.arg5);
    st->host_values[0] = reinterpret_cast<uintptr_t>(a.state_handle);
    st->host_values[1] = a.arg7;
    st->sounds = RegReadStringAsInt("MAIN", "Sounds", 0, SETTINGS_INI);
    st->pretty_dialogs = RegReadStringAsInt("MAIN", "PrettyDialogs", 1, SETTINGS_INI);
    // The cursors are loaded when first shown (engine_cursor): loading one
    // brings up the display.
    st->wait_cursor = st->arrow_cursor = st->cursor = nullptr;
    st->structure_depth = 0;
    st->current_function = NO_FUNCTION;
    st->function_count = 0;
    memset(st->udf_table, 0, sizeof st->udf_table);
    st->include_flags = INCLUDE_EXPAND | INCLUDE_AT_RUN_TIME;
    st->registry_view = g_os.is_wow64 ? KEY_WOW64_64KEY : 0;
    memset(st->files, 0, sizeof st->files);
    memset(st->binbufs, 0, sizeof st->binbufs);
    st->decimals = -1;
    st->share_read = 1;
    st->read_buffer_setting = -2;
    st->line_terminator = 1;
    st->code_page = CP_ACP;
}

void resolve_optional_entries(EngineState* st) {
    if (g_os.is_9x) {
        static const char* const names[5] = {"CreateToolhelp32Snapshot", "Process32First",
                                              "Process32Next", "Module32First", "Module32Next"};
        HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
        bool all = true;
        for (int i = 0; i < 5; ++i) all = (st->toolhelp[i] = GetProcAddress(kernel, names[i])) && all;
        if (!all) memset(st->toolhelp, 0, sizeof st->toolhelp);
    }
    if (g_os.is_98_or_me || g_os.is_nt5_plus)
        st->block_input = GetProcAddress(GetModuleHandleA("USER32.DLL"), "BlockInput");
    if (g_os.is_wow64)
        st->reg_delete_key_ex = GetProcAddress(GetModuleHandleA("ADVAPI32.DLL"), "RegDeleteKeyExA");
}

intptr_t initialise(const InitArgs& a) {
    static bool process_ready = false;
    StateLock lock(a.state_handle);
    EngineState* st = lock.get();
    if (!st) return KESTR_INITIALISED;
    if (!process_ready) detect_operating_system();
    set_state_defaults(st, a);
    seed_random();
    if (!process_ready) build_byte_permutation();
    forget_system_font(st);  // measured when first asked for
    if (!process_ready) {
        clear_dialog_owner_table();
        load_menu_words(st);
        // The window classes are registered when a window first needs them
        // (ensure_window_classes).
        process_ready = true;
    }
    resolve_optional_entries(st);
    st->initialised = 1;
    return KESTR_INITIALISED;
}

intptr_t attach_variables(const InitArgs& a) {
    StateLock lock(a.state_handle);
    EngineState* st = lock.get();
    if (!st) return 0;
    if (!attach_main_table(st, reinterpret_cast<HGLOBAL>(a.arg3), static_cast<uint16_t>(a.arg5)))
        return 0;
    forget_default_window_bottom(st);  // measured when first asked for
    PumpMessages(st);
    return 1;
}

// The drive's "=X:" variable keeps a command shell's per-drive directory.
void note_drive_directory(EngineState* st) {
    DWORD n = GetCurrentDirectoryA(sizeof st->directory, st->directory);
    if (n == 0 || n >= sizeof st->directory || st->directory[1] != ':') return;
    char name[4] = {'=', st->directory[0], ':', '\0'};
    SetEnvironmentVariableA(name, st->directory);
}

intptr_t attach_heap(const InitArgs& a) {
    StateLock lock(a.state_handle);
    EngineState* st = lock.get();
    if (!st || !a.arg3 || a.arg5 < HEAP_LAYOUT_OVERHEAD + HEAP_MIN_BLOCK) return 0;
    heap_initialise(st, reinterpret_cast<void*>(a.arg3), static_cast<uint32_t>(a.arg5));
    note_drive_directory(st);
    return 1;
}

intptr_t shut_down(const InitArgs& a) {
    StateLock lock(a.state_handle);
    EngineState* st = lock.get();
    if (!st) return 0;
    release_engine_resources(st);
    return 1;
}

typedef intptr_t (*RequestHandler)(const InitArgs&);
struct RequestRow {
    int16_t request;
    RequestHandler handler;
};
constexpr RequestRow kRequests[] = {
    {KESTR_REQ_HANDSHAKE, handshake},   {KESTR_REQ_INITIALISE, initialise},
    {KESTR_REQ_VARIABLES, attach_variables}, {KESTR_REQ_HEAP, attach_heap},
    {KESTR_REQ_SHUTDOWN, shut_down},
};

}  // namespace

KESTR_API intptr_t DoDaDllInit(HWND hostWindow, HGLOBAL stateHandle, uintptr_t arg3, int16_t request,
                               uintptr_t arg5, uintptr_t arg6, uintptr_t arg7) {
    BusyGuard busy;
    InitArgs args{hostWindow, stateHandle, arg3, arg5, arg6, arg7};
    if (!stateHandle) return 0;
    for (const RequestRow& row : kRequests)
        if (row.request == request) return row.handler(args);
    return 0;
}
