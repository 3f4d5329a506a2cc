// Keystroke built-in functions: sending key strings, asking for the state
// of keys, waiting for keys, and Pause.
#include <windows.h>
#include <math.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/message_box.h"
#include "lang/pump.h"
#include "lib/builtins.h"
#include "lib/key_inject.h"
#include "lib/path_text.h"
#include "lib/window_name.h"
#include "lib/window_ops.h"
#include "lib/window_target.h"

namespace {

// IsKeyDown's flags (the @CTRL and @SHIFT constants).
constexpr int32_t kIsDownCtrl = 1;
constexpr int32_t kIsDownShift = 2;

// The key waits look at the keyboard this often.
constexpr uint32_t kKeyPollMs = 50;
// How long KeyToggleSet waits for the new state to show.
constexpr DWORD kToggleWaitMs = 1000;
// The most keys one wait watches (WaitForKey takes five).
constexpr int kMostWaitKeys = 32;

bool held(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// The modifier keys that a modifier bit stands for.
struct HeldModifier {
    uint32_t bits;
    int vk;
};
constexpr HeldModifier kHeldModifiers[] = {
    {KEYMOD_SHIFT, VK_SHIFT},    {KEYMOD_CTRL, VK_CONTROL},   {KEYMOD_ALT, VK_MENU},
    {KEYMOD_LALT, VK_LMENU},     {KEYMOD_RALT, VK_RMENU},     {KEYMOD_LCTRL, VK_LCONTROL},
    {KEYMOD_RCTRL, VK_RCONTROL}, {KEYMOD_LSHIFT, VK_LSHIFT},  {KEYMOD_RSHIFT, VK_RSHIFT},
    {KEYMOD_LWIN, VK_LWIN},      {KEYMOD_RWIN, VK_RWIN},      {KEYMOD_APPS, VK_APPS},
};

// Whether `key` is down now together with every modifier it names.
bool key_is_down(const KeyPress& key) {
    if (!held(key.vk == kKeypadEnter ? VK_RETURN : key.vk)) return false;
    for (const HeldModifier& m : kHeldModifiers)
        if ((key.modifiers & m.bits) && !held(m.vk)) return false;
    return true;
}

// The keys a wait watches, as parsed from their key strings.
struct WaitKeys {
    KeyPress key[kMostWaitKeys];
    int number[kMostWaitKeys];  // what the wait returns for each
    int count = 0;
};

// Adds key string `text` as the wait's key `number`; an empty text is
// skipped, anything that is not one key raises 3123.
bool add_wait_key(EngineState* st, WaitKeys* keys, const char* text, size_t length, int number) {
    if (length == 0) return true;
    char one[64];
    if (length >= sizeof one || keys->count == kMostWaitKeys) return raise(st, Err::WaitForKeyBadCodes);
    memcpy(one, text, length);
    one[length] = '\0';
    if (!parse_single_key(one, &keys->key[keys->count])) return raise(st, Err::WaitForKeyBadCodes);
    keys->number[keys->count++] = number;
    return true;
}

// Polls until one of the keys is down: its number; 0 after `milliseconds`
// (never when negative) or when the script is cancelled.
int32_t wait_for_keys(EngineState* st, const WaitKeys& keys, int64_t milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        for (int i = 0; i < keys.count; ++i)
            if (key_is_down(keys.key[i])) return keys.number[i];
        const DWORD elapsed = GetTickCount() - start;
        if (st->cancel_requested || (milliseconds >= 0 && elapsed >= milliseconds)) return 0;
        WaitPumping(st, kKeyPollMs);
    }
}

// The toggle bit as the window in front sees it: this thread's own key
// state only follows keys that reach its message queue.
bool toggled(int vk) {
    const HWND front = GetForegroundWindow();
    const DWORD own = GetCurrentThreadId();
    const DWORD other = front ? GetWindowThreadProcessId(front, nullptr) : own;
    const bool attached = other != own && AttachThreadInput(own, other, TRUE);
    const bool on = (GetKeyState(vk) & 1) != 0;
    if (attached) AttachThreadInput(own, other, FALSE);
    return on;
}

bool is_key_code(int32_t vk) { return vk > 0 && vk < 0xFF; }

// The text of a mixed-kind argument in ANSI, whichever form it arrived in.
void ansi_argument(EngineState* st, const Value& arg, char* out, int size) {
    if (const char* text = value_text(st, arg.v)) {
        lstrcpynA(out, text, size);
    } else if (const wchar_t* wtext = value_wtext(st, arg.v)) {
        if (!WideCharToMultiByte(st->code_page, 0, wtext, -1, out, size, nullptr, nullptr)) out[size - 1] = 0;
    } else {
        out[0] = 0;
    }
}

// SendKey(keys)
BUILTIN(key_send) {
    if (send_key_string(st, value_text(st, args[1].v))) set_int_result(result, 1);
}

// SendKeysTo(window, keys): brings the window to the front, then sends
BUILTIN(key_send_to) {
    const char* name = value_text(st, args[1].v);
    const HWND window = name[0] ? find_window(st, name) : nullptr;
    if (!window) return (void)raise(st, Err::SendKeysToNotFound);
    bring_to_front(st, window);
    if (send_key_string(st, value_text(st, args[2].v))) set_int_result(result, 1);
}

// SendKeysChild(parent, child, keys): the keys go to a child window (an
// edit control, say) of the parent, which comes to the front first
BUILTIN(key_send_child) {
    const char* name = value_text(st, args[1].v);
    const HWND parent = name[0] ? find_window(st, name) : nullptr;
    if (!parent) return (void)raise(st, Err::SendKeysChildParentNotFound);
    const HWND child = find_target_child(st, parent, value_text(st, args[2].v));
    if (!child) return (void)raise(st, Err::SendKeysChildChildNotFound);
    bring_to_front(st, parent);
    focus_child(child);
    if (send_key_string(st, value_text(st, args[3].v))) set_int_result(result, 1);
}

// IsKeyDown(flags) -> 1 when every key named by @SHIFT and @CTRL is held
BUILTIN(key_is_down) {
    const int32_t flags = args[1].v.integer;
    bool down = (flags & (kIsDownCtrl | kIsDownShift)) != 0;
    if ((flags & kIsDownCtrl) && !held(VK_CONTROL)) down = false;
    if ((flags & kIsDownShift) && !held(VK_SHIFT)) down = false;
    set_int_result(result, down);
}

// KeyToggleGet(key) -> 1 when the lock key (@CAPSLOCK, @NUMLOCK ...) is on
BUILTIN(key_toggle_get) {
    const int32_t vk = args[1].v.integer;
    set_int_result(result, is_key_code(vk) && toggled(vk));
}

// KeyToggleSet(key, state) -> the previous state; 0 off, 1 on, others flip
BUILTIN(key_toggle_set) {
    const int32_t vk = args[1].v.integer;
    if (!is_key_code(vk)) return set_int_result(result, 0);
    const bool was_on = toggled(vk);
    const int32_t state = args[2].v.integer;
    const bool wanted = state == 0 || state == 1 ? state == 1 : !was_on;
    if (wanted != was_on) {
        send_key_press(st, KeyPress{static_cast<uint8_t>(vk), 0, 1});
        // The receiver's key state changes when it takes the key from its
        // queue: wait for that, so that the next KeyToggleGet sees it.
        const DWORD start = GetTickCount();
        while (toggled(vk) != wanted && GetTickCount() - start < kToggleWaitMs && !st->cancel_requested)
            WaitPumping(st, kKeyPollMs);
    }
    set_int_result(result, was_on);
}

// WaitForKey(key1, key2, key3, key4, key5) -> which of them was pressed
BUILTIN(key_wait) {
    WaitKeys keys;
    for (int i = 1; i <= count; ++i) {
        const char* text = value_text(st, args[i].v);
        if (!add_wait_key(st, &keys, text, strlen(text), i)) return;
    }
    if (keys.count == 0) return (void)raise(st, Err::WaitForKeyBadCodes);
    set_int_result(result, wait_for_keys(st, keys, -1));
}

// WaitForKeyEx(keys, timeout) -> the position in the list of the key
// pressed, 0 when the time (seconds, -1 without limit) ran out
BUILTIN(key_wait_ex) {
    const char delimiter = st->list_delimiter ? st->list_delimiter : '\t';
    const char* text = value_text(st, args[1].v);
    WaitKeys keys;
    for (int number = 1;; ++number) {
        const char* end = strchr(text, delimiter);
        const size_t length = end ? static_cast<size_t>(end - text) : strlen(text);
        if (!add_wait_key(st, &keys, text, length, number)) return;
        if (!end) break;
        text = end + 1;
    }
    if (keys.count == 0) return (void)raise(st, Err::WaitForKeyBadCodes);
    const double seconds = args[2].v.real;
    const int64_t milliseconds = seconds < 0 ? -1 : static_cast<int64_t>(fmin(seconds, 86400.0) * 1000);
    set_int_result(result, wait_for_keys(st, keys, milliseconds));
}

// Pause(title, text): a message box that waits for OK; in silent mode the
// text goes to the log and the call returns at once.
BUILTIN(key_pause) {
    char title[LINE_BUFFER_BYTES], text[LINE_BUFFER_BYTES];
    ansi_argument(st, args[1], title, sizeof title);
    ansi_argument(st, args[2], text, sizeof text);
    MessageOrLog(st, st->owner_window, text, title, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    set_int_result(result, 1);
}

}  // namespace

constexpr BuiltinRow kKeyBuiltins[] = {
    BUILTIN_ROW("iskeydown", key_is_down),
    BUILTIN_ROW("keytoggleget", key_toggle_get),
    BUILTIN_ROW("keytoggleset", key_toggle_set),
    BUILTIN_ROW("pause", key_pause),
    BUILTIN_ROW("sendkey", key_send),
    BUILTIN_ROW("sendkeyschild", key_send_child),
    BUILTIN_ROW("sendkeysto", key_send_to),
    BUILTIN_ROW("waitforkey", key_wait),
    BUILTIN_ROW("waitforkeyex", key_wait_ex),
};
constexpr size_t kKeyBuiltinCount = sizeof(kKeyBuiltins) / sizeof(kKeyBuiltins[0]);
