// Synthetic keyboard input: single key events through the input-injection
// call (or the older keyboard-event call), modifiers around each key, and
// whole key strings with the keystroke settings of IntControl 35, 43, 45
// and 88.
#include "lib/key_inject.h"

#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lang/pump.h"

namespace {

// IntControl requests whose settings the injector reads.
constexpr int kKeyDelayRequest = 35;      // ms between keys; p2: ms a key is held
constexpr int kKeepForegroundRequest = 43; // bring the first receiver back to the front
constexpr int kShareInputRequest = 45;    // share the receiver's input state while sending
constexpr int kSendInputRequest = 88;     // use the input-injection call

typedef UINT(WINAPI* SendInputFn)(UINT, LPINPUT, int);

// Looked up by name: systems without it use the keyboard-event call.
SendInputFn send_input_function() {
    static const SendInputFn fn = reinterpret_cast<SendInputFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("USER32.DLL"), "SendInput")));
    return fn;
}

// Keys whose codes lie outside these ranges sit on the extended part of
// the keyboard (cursor block, keypad operators, right-hand modifiers).
bool is_extended(uint8_t vk) {
    return !((vk >= 0x08 && vk <= 0x20) || (vk >= 0x30 && vk <= 0x5A) || (vk >= 0x70 && vk <= 0x87) ||
             (vk >= 0xBA && vk <= 0xC0) || (vk >= 0xDB && vk <= 0xDE));
}

// The modifier keys in the order they are pressed, each with the bits that
// call for it; they are released in the reverse order.
struct ModifierKey {
    uint32_t bits;
    uint8_t vk;
};
constexpr ModifierKey kModifierKeys[] = {
    {KEYMOD_SHIFT, VK_SHIFT},     {KEYMOD_LSHIFT, VK_LSHIFT}, {KEYMOD_RSHIFT, VK_RSHIFT},
    {KEYMOD_CTRL, VK_CONTROL},    {KEYMOD_LCTRL, VK_LCONTROL}, {KEYMOD_RCTRL, VK_RCONTROL},
    {KEYMOD_LWIN, VK_LWIN},       {KEYMOD_RWIN, VK_RWIN},     {KEYMOD_APPS, VK_APPS},
    {KEYMOD_ALT, VK_MENU},        {KEYMOD_LALT, VK_LMENU},    {KEYMOD_RALT, VK_RMENU},
};
constexpr int kModifierKeyCount = sizeof kModifierKeys / sizeof kModifierKeys[0];

void press_modifiers(EngineState* st, uint32_t modifiers) {
    for (int i = 0; i < kModifierKeyCount; ++i)
        if (modifiers & kModifierKeys[i].bits) inject_key_event(st, kModifierKeys[i].vk, false);
}

void release_modifiers(EngineState* st, uint32_t modifiers) {
    for (int i = kModifierKeyCount - 1; i >= 0; --i)
        if (modifiers & kModifierKeys[i].bits) inject_key_event(st, kModifierKeys[i].vk, true);
}

void wait_setting(EngineState* st, int32_t milliseconds) {
    if (milliseconds > 0) WaitPumping(st, static_cast<uint32_t>(milliseconds));
}

// While keys go out: with request 45 on, this thread shares the input state
// of the window in front, so that the focus and key state it sees are the
// receiver's; with request 43 on, a window that comes in front of the first
// receiver is pushed back behind it before the next key.
class Receiver {
public:
    explicit Receiver(EngineState* st) : st_(st), window_(GetForegroundWindow()) {
        if (st->ic_setting[kShareInputRequest] && window_) {
            other_ = GetWindowThreadProcessId(window_, nullptr);
            own_ = GetCurrentThreadId();
            attached_ = other_ != own_ && AttachThreadInput(own_, other_, TRUE);
        }
    }
    ~Receiver() {
        if (attached_) AttachThreadInput(own_, other_, FALSE);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    void keep_in_front() const {
        if (st_->ic_setting[kKeepForegroundRequest] && window_ && IsWindow(window_) &&
            GetForegroundWindow() != window_)
            SetForegroundWindow(window_);
    }

private:
    EngineState* st_;
    HWND window_;
    DWORD own_ = 0, other_ = 0;
    bool attached_ = false;
};

}  // namespace

void inject_key_event(EngineState* st, uint8_t vk, bool up) {
    bool extended = is_extended(vk);
    if (vk == kKeypadEnter) {
        vk = VK_RETURN;
        extended = true;
    }
    const WORD scan = static_cast<WORD>(MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */));
    const DWORD flags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    const SendInputFn send_input = send_input_function();
    if (send_input && st->ic_setting[kSendInputRequest]) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = scan;
        input.ki.dwFlags = flags;
        send_input(1, &input, sizeof input);
    } else {
        keybd_event(vk, static_cast<BYTE>(scan), flags, 0);
    }
    // Twice: once for the event itself, once for what it set off here.
    PumpMessages(st);
    PumpMessages(st);
}

void send_key_press(EngineState* st, const KeyPress& key) {
    for (int32_t i = 0; i < key.count && !st->cancel_requested; ++i) {
        press_modifiers(st, key.modifiers);
        inject_key_event(st, key.vk, false);
        wait_setting(st, st->ic_second_setting[kKeyDelayRequest]);
        inject_key_event(st, key.vk, true);
        release_modifiers(st, key.modifiers);
        wait_setting(st, st->ic_setting[kKeyDelayRequest]);
    }
}

bool send_key_string(EngineState* st, const char* text) {
    Receiver receiver(st);
    uint32_t modifiers = 0;
    KeyPress key;
    for (;;) {
        switch (next_key_element(&text, &modifiers, &key)) {
        case KeyStep::End: return true;
        case KeyStep::Malformed: return raise(st, Err::SendKeyBadParams);
        case KeyStep::Modifier: continue;
        case KeyStep::Key:
            if (st->cancel_requested) return true;
            receiver.keep_in_front();
            send_key_press(st, key);
            break;
        }
    }
}

bool parse_single_key(const char* text, KeyPress* key) {
    uint32_t modifiers = 0;
    KeyStep step;
    while ((step = next_key_element(&text, &modifiers, key)) == KeyStep::Modifier) {}
    return step == KeyStep::Key && next_key_element(&text, &modifiers, key) == KeyStep::End;
}
