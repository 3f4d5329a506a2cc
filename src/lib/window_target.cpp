// Window arguments of the keystroke, menu and mouse functions (see
// window_target.h).
#include "lib/window_target.h"

#include "lib/window_name.h"

namespace {

struct ClassSearch {
    const char* name;
    HWND found;
};

BOOL CALLBACK match_class(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ClassSearch*>(context);
    char name[256];
    if (GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, search->name) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Runs `work` while this thread shares the input state of `window`'s
// thread: focus and activation calls act on another thread's windows only
// then.
template <typename Work>
void with_input_of(HWND window, Work work) {
    const DWORD own = GetCurrentThreadId();
    const DWORD other = window ? GetWindowThreadProcessId(window, nullptr) : own;
    const bool attached = other != own && AttachThreadInput(own, other, TRUE);
    work();
    if (attached) AttachThreadInput(own, other, FALSE);
}

}  // namespace

HWND find_target_child(const EngineState* st, HWND parent, const char* name) {
    if (!name[0]) return nullptr;
    if (HWND child = find_child_window(st, parent, name)) return child;
    ClassSearch search{name, nullptr};
    EnumChildWindows(parent, match_class, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void focus_child(HWND child) {
    with_input_of(child, [child] { SetFocus(child); });
}
