// The key-string language of the keystroke functions: "+", "^" and "!" hold
// Shift, Ctrl and Alt for the next key, "~" is Enter, "{NAME}" or
// "{NAME n}" a named key (n times), "{c}" the character c, "{*NAME}" a
// left/right-specific modifier held for the next key, and any other
// character the key that types it in the current keyboard layout.
#pragma once

#include <stdint.h>

// Modifiers accumulated for the next key. The low three bits are the same
// as the shift state of the layout's character-to-key mapping.
enum KeyModifier : uint32_t {
    KEYMOD_SHIFT = 0x1,
    KEYMOD_CTRL = 0x2,
    KEYMOD_ALT = 0x4,
    KEYMOD_LALT = 0x8,
    KEYMOD_RALT = 0x10,
    KEYMOD_LCTRL = 0x20,
    KEYMOD_RCTRL = 0x40,
    KEYMOD_LSHIFT = 0x80,
    KEYMOD_RSHIFT = 0x100,
    KEYMOD_LWIN = 0x200,
    KEYMOD_RWIN = 0x400,
    KEYMOD_APPS = 0x800,
};

// The key-name table's code for the keypad Enter: not a virtual-key code,
// the injector turns it into an extended Enter.
constexpr uint8_t kKeypadEnter = 0x00;

// One key to send: its virtual-key code, the modifiers it needs (those the
// string asked for joined with the layout's shift state) and how often.
struct KeyPress {
    uint8_t vk;
    uint32_t modifiers;
    int32_t count;
};

enum class KeyStep {
    End,        // nothing left
    Modifier,   // modifiers were added for the next key; nothing to send
    Key,        // `*key` is ready to send
    Malformed,  // the element cannot be read; nothing of it was consumed
};

// Reads the element at `*cursor`, advancing past it. `*modifiers` gathers
// the modifier elements and is folded into the key (and cleared) when a
// key element follows.
KeyStep next_key_element(const char** cursor, uint32_t* modifiers, KeyPress* key);

// The virtual-key code of a key name ("ENTER", "f5", "*LSHIFT"), compared
// without regard to case; false for an unknown name. A "*" name gives its
// modifier bit in *modifier and 0 there otherwise.
bool key_name_code(const char* name, uint8_t* vk, uint32_t* modifier);
