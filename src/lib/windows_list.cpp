// Window lists: the titles or ids of the top-level windows (all, matching a
// partial name, or of one process) and the titles of a window's children.
// A list is made in two passes over the windows with one callback: the
// first adds up the length, the second fills a buffer of that size.
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"
#include "lib/window_name.h"
#include "lib/window_ops.h"

namespace {

constexpr int kNameModeRequest = 46;
constexpr int32_t kProcHidden = 1, kProcUntitled = 2;

// What an entry of the list holds.
enum Entry : int32_t { TitleEntry = 0, IdEntry = 1, TitleAndId = 2 };

template <typename C>
struct Listing {
    EngineState* st;
    // Which windows are kept.
    Span<C> partial;        // empty: every window
    bool ignore_case;
    bool multiple;          // false: stop after the first kept window
    bool hidden;            // keep invisible windows too
    bool untitled;          // keep windows without a title
    DWORD process_id;       // 0: any process
    Entry entry;
    // The pass: sizing adds up `length`; filling appends to `buffer`.
    bool filling;
    size_t length;
    C* buffer;
    size_t capacity;
    bool failed;
};

int title_of(HWND window, char* title) { return GetWindowTextA(window, title, WINDOW_TITLE_CHARS); }
int title_of(HWND window, wchar_t* title) { return GetWindowTextW(window, title, WINDOW_TITLE_CHARS); }

template <typename C>
void add(Listing<C>* list, const C* text, size_t n) {
    if (list->filling && list->length + n <= list->capacity) memcpy(list->buffer + list->length, text, n * sizeof(C));
    list->length += n;
}

template <typename C>
bool kept(const Listing<C>& list, HWND window, const C* title, size_t title_length) {
    if (!list.untitled && window_title_skipped(title)) return false;
    if (!list.hidden && !IsWindowVisible(window)) return false;
    if (list.process_id) {
        DWORD process_id = 0;
        GetWindowThreadProcessId(window, &process_id);
        if (process_id != list.process_id) return false;
    }
    return list.partial.n == 0 ||
           window_title_matches(title, title_length, list.partial.p, list.partial.n, list.ignore_case);
}

template <typename C>
BOOL CALLBACK visit(HWND window, LPARAM data) {
    auto* list = reinterpret_cast<Listing<C>*>(data);
    C title[WINDOW_TITLE_CHARS];
    int n = title_of(window, title);
    if (n < 0) n = 0;
    title[n] = 0;
    if (!kept(*list, window, title, static_cast<size_t>(n))) return TRUE;
    if (list->length > 0) {
        const C tab = '\t';
        add(list, &tab, 1);
    }
    if (list->entry != IdEntry) add(list, title, static_cast<size_t>(n));
    if (list->entry != TitleEntry) {
        C id[WINDOW_ID_CHARS + 1];
        if (!window_id_text(list->st, window, id)) {
            list->failed = true;
            return FALSE;
        }
        if (list->entry == TitleAndId) {
            const C bar = '|';
            add(list, &bar, 1);
        }
        add(list, id, WINDOW_ID_CHARS);
    }
    return list->multiple;
}

// Runs both passes over the top-level windows (or the children of
// `parent`) and stores the list as the result.
template <typename C>
void make_list(EngineState* st, Value* result, Listing<C> list, HWND parent = nullptr) {
    auto walk = [&]() {
        list.length = 0;
        if (parent) EnumChildWindows(parent, visit<C>, reinterpret_cast<LPARAM>(&list));
        else EnumWindows(visit<C>, reinterpret_cast<LPARAM>(&list));
    };
    walk();
    if (list.failed) return;
    list.capacity = list.length;
    list.buffer = static_cast<C*>(HeapAlloc(GetProcessHeap(), 0, (list.capacity + 1) * sizeof(C)));
    if (!list.buffer) return (void)raise(st, Err::AllocFailed);
    list.filling = true;
    walk();
    // Windows may have come or gone between the passes: keep what fitted.
    const size_t length = list.length < list.capacity ? list.length : list.capacity;
    if (!list.failed) (void)set_result<C>(st, result, Span<C>{list.buffer, length});
    HeapFree(GetProcessHeap(), 0, list.buffer);
}

template <typename C>
Listing<C> listing(EngineState* st, Entry entry) {
    Listing<C> list{};
    list.st = st;
    list.partial = Span<C>{nullptr, 0};
    list.ignore_case = st->ic_setting[kNameModeRequest] != 0;
    list.multiple = true;
    list.entry = entry;
    return list;
}

// WinItemize() -> tab-separated titles of the visible top-level windows
BUILTIN(win_itemize) { make_list(st, result, listing<char>(st, TitleEntry)); }

// WinItemNameId() -> tab-separated "title|id" entries of the visible top-level windows
BUILTIN(win_item_name_id) { make_list(st, result, listing<char>(st, TitleAndId)); }

bool valid_entry(int32_t type) { return type >= TitleEntry && type <= TitleAndId; }

// WinItemizeEx(partial name, multiple, hidden, return type = 0) -> tab-separated titles, ids or "title|id"
TEXT_WORKER(win_itemize_ex) {
    const int32_t multiple = args[2].v.integer, hidden = args[3].v.integer;
    const int32_t type = optional_arg(args, count, 4, TitleEntry);
    if (multiple != 0 && multiple != 1) return (void)raise(st, Err::WinItemizeExBadMultiple);
    if (hidden != 0 && hidden != 1) return (void)raise(st, Err::WinItemizeExBadHidden);
    Listing<C> list = listing<C>(st, valid_entry(type) ? static_cast<Entry>(type) : TitleEntry);
    list.partial = arg_span<C>(st, args[1]);
    list.multiple = multiple == 1;
    list.hidden = hidden == 1;
    make_list(st, result, list);
}

// Whether `process_id` names a running process.
bool process_exists(DWORD process_id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// WinItemProcId(process id, flags, return type) -> the windows of one
// process; flags: 1 hidden windows too, 2 windows without a title too
BUILTIN(win_item_proc_id) {
    const int32_t process_id = args[1].v.integer, flags = args[2].v.integer, type = args[3].v.integer;
    if (flags & ~(kProcHidden | kProcUntitled)) return (void)raise(st, Err::WinItemProcIdBadFlags);
    if (!valid_entry(type)) return (void)raise(st, Err::WinItemProcIdBadReturnType);
    if (process_id <= 0 || !process_exists(static_cast<DWORD>(process_id)))
        return (void)raise(st, Err::WinItemProcIdBadId);
    Listing<char> list = listing<char>(st, static_cast<Entry>(type));
    list.process_id = static_cast<DWORD>(process_id);
    list.hidden = (flags & kProcHidden) != 0;
    list.untitled = (flags & kProcUntitled) != 0;
    make_list(st, result, list);
}

// WinItemChild(parent) -> tab-separated titles of the parent's child windows
TEXT_WORKER(win_item_child) {
    HWND parent = named_window_or_raise(st, args[1], Err::WinItemChildParentNotFound);
    if (!parent) return;
    Listing<C> list = listing<C>(st, TitleEntry);
    list.hidden = true;
    make_list(st, result, list, parent);
}

}  // namespace

constexpr BuiltinRow kWindowListBuiltins[] = {
    BUILTIN_ROW("winitemchild", NAME_TWIN(win_item_child)),
    BUILTIN_ROW("winitemize", win_itemize),
    BUILTIN_ROW("winitemizeex", NAME_TWIN(win_itemize_ex)),
    BUILTIN_ROW("winitemnameid", win_item_name_id),
    BUILTIN_ROW("winitemprocid", win_item_proc_id),
};
constexpr size_t kWindowListBuiltinCount = sizeof(kWindowListBuiltins) / sizeof(kWindowListBuiltins[0]);
