// The key-string parser and its key-name table (see key_string.h).
#include "lib/key_string.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct KeyName {
    const char* name;
    uint8_t vk;
    uint32_t modifier;  // non-zero for the "*" forms, which only hold a modifier
};

constexpr KeyName kKeyNames[] = {
    {"BACKSPACE", 0x08, 0}, {"BS", 0x08, 0},        {"CANCEL", 0x03, 0},   {"CAPSLOCK", 0x14, 0},
    {"CLEAR", 0x0C, 0},     {"DELETE", 0x2E, 0},    {"DEL", 0x2E, 0},      {"DOWN", 0x28, 0},
    {"END", 0x23, 0},       {"ENTER", 0x0D, 0},     {"ESCAPE", 0x1B, 0},   {"ESC", 0x1B, 0},
    {"HELP", 0x2F, 0},      {"HOME", 0x24, 0},      {"INSERT", 0x2D, 0},   {"INS", 0x2D, 0},
    {"LEFT", 0x25, 0},      {"NUMLOCK", 0x90, 0},   {"PAUSE", 0x13, 0},    {"PGDN", 0x22, 0},
    {"PGUP", 0x21, 0},      {"PRTSC", 0x2C, 0},     {"RIGHT", 0x27, 0},    {"TAB", 0x09, 0},
    {"UP", 0x26, 0},        {"F1", 0x70, 0},        {"F2", 0x71, 0},       {"F3", 0x72, 0},
    {"F4", 0x73, 0},        {"F5", 0x74, 0},        {"F6", 0x75, 0},       {"F7", 0x76, 0},
    {"F8", 0x77, 0},        {"F9", 0x78, 0},        {"F10", 0x79, 0},      {"F11", 0x7A, 0},
    {"F12", 0x7B, 0},       {"F13", 0x7C, 0},       {"F14", 0x7D, 0},      {"F15", 0x7E, 0},
    {"F16", 0x7F, 0},       {"SPACE", 0x20, 0},     {"SP", 0x20, 0},       {"SHIFT", 0x10, 0},
    {"CTRL", 0x11, 0},      {"MENU", 0x12, 0},      {"ALT", 0x12, 0},      {"NUMPAD0", 0x60, 0},
    {"NUMPAD1", 0x61, 0},   {"NUMPAD2", 0x62, 0},   {"NUMPAD3", 0x63, 0},  {"NUMPAD4", 0x64, 0},
    {"NUMPAD5", 0x65, 0},   {"NUMPAD6", 0x66, 0},   {"NUMPAD7", 0x67, 0},  {"NUMPAD8", 0x68, 0},
    {"NUMPAD9", 0x69, 0},   {"NUMPAD*", 0x6A, 0},   {"NUMPAD+", 0x6B, 0},  {"NUMPAD-", 0x6D, 0},
    {"NUMPAD.", 0x6E, 0},   {"NUMPAD/", 0x6F, 0},   {"NUMPAD~", kKeypadEnter, 0},
    {"LALT", 0xA4, 0},      {"RALT", 0xA5, 0},      {"LCONTROL", 0xA2, 0}, {"RCONTROL", 0xA3, 0},
    {"LSHIFT", 0xA0, 0},    {"RSHIFT", 0xA1, 0},    {"LWIN", 0x5B, 0},     {"RWIN", 0x5C, 0},
    {"APPS", 0x5D, 0},
    {"*LALT", 0xA4, KEYMOD_LALT},       {"*RALT", 0xA5, KEYMOD_RALT},
    {"*LCONTROL", 0xA2, KEYMOD_LCTRL},  {"*RCONTROL", 0xA3, KEYMOD_RCTRL},
    {"*LSHIFT", 0xA0, KEYMOD_LSHIFT},   {"*RSHIFT", 0xA1, KEYMOD_RSHIFT},
    {"*LWIN", 0x5B, KEYMOD_LWIN},       {"*RWIN", 0x5C, KEYMOD_RWIN},
    {"*APPS", 0x5D, KEYMOD_APPS},
};
static_assert(sizeof kKeyNames / sizeof kKeyNames[0] == 81, "the key-name table has 81 names");

// The longest name is 9 characters; a longer one cannot be in the table.
constexpr size_t kLongestName = 9;

// The key that types `c` in the current layout, with the shift state the
// layout needs for it; false when no key types it.
bool character_key(char c, KeyPress* key) {
    const SHORT scan = VkKeyScanA(c);
    if (scan == -1) return false;
    key->vk = static_cast<uint8_t>(scan & 0xFF);
    key->modifiers |= (scan >> 8) & (KEYMOD_SHIFT | KEYMOD_CTRL | KEYMOD_ALT);
    return true;
}

// "{...}": p points at the "{". A character followed by "}" is that
// character ("{}}" is a closing brace); otherwise a name, optionally
// followed by one space and a count.
KeyStep braced_element(const char** cursor, uint32_t* modifiers, KeyPress* key) {
    const char* p = *cursor + 1;
    if (p[0] && p[1] == '}') {
        if (!character_key(p[0], key)) return KeyStep::Malformed;
        *cursor = p + 2;
        return KeyStep::Key;
    }
    const char* close = strchr(p, '}');
    if (!close) return KeyStep::Malformed;
    const char* space = static_cast<const char*>(memchr(p, ' ', close - p));
    const char* name_end = space ? space : close;
    const size_t length = name_end - p;
    if (length == 0 || length > kLongestName) return KeyStep::Malformed;
    char name[kLongestName + 1];
    memcpy(name, p, length);
    name[length] = '\0';
    if (space) key->count = atoi(space + 1);
    if (length == 1) {
        if (!character_key(name[0], key)) return KeyStep::Malformed;
    } else {
        uint32_t modifier = 0;
        if (!key_name_code(name, &key->vk, &modifier)) return KeyStep::Malformed;
        if (modifier) {
            *modifiers |= modifier;
            *cursor = close + 1;
            return KeyStep::Modifier;
        }
    }
    *cursor = close + 1;
    return KeyStep::Key;
}

}  // namespace

bool key_name_code(const char* name, uint8_t* vk, uint32_t* modifier) {
    for (const KeyName& entry : kKeyNames) {
        if (_stricmp(entry.name, name) == 0) {
            *vk = entry.vk;
            *modifier = entry.modifier;
            return true;
        }
    }
    return false;
}

KeyStep next_key_element(const char** cursor, uint32_t* modifiers, KeyPress* key) {
    const char c = **cursor;
    if (!c) return KeyStep::End;
    *key = KeyPress{0, 0, 1};
    KeyStep step = KeyStep::Key;
    switch (c) {
    case '!': *modifiers |= KEYMOD_ALT; ++*cursor; return KeyStep::Modifier;
    case '+': *modifiers |= KEYMOD_SHIFT; ++*cursor; return KeyStep::Modifier;
    case '^': *modifiers |= KEYMOD_CTRL; ++*cursor; return KeyStep::Modifier;
    case '~': key->vk = VK_RETURN; ++*cursor; break;
    case '{': step = braced_element(cursor, modifiers, key); break;
    default:
        if (!character_key(c, key)) return KeyStep::Malformed;
        ++*cursor;
    }
    if (step == KeyStep::Key) {
        key->modifiers |= *modifiers;
        *modifiers = 0;
    }
    return step;
}
