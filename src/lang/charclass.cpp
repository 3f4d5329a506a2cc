// Builds the character-class tables from the system's ANSI classification.
#include "lang/charclass.h"

#include <windows.h>

CharClassTables g_chars;

void build_char_classes() {
    CharClassTables t = {};
    for (int i = 0; i < 256; ++i) {
        char c = static_cast<char>(i);
        t.lower[i] = static_cast<uint8_t>(i);
        if (i != 0 && CharLowerBuffA(&c, 1) == 1) t.lower[i] = static_cast<uint8_t>(c);
        if (i == 0) continue;
        if (IsCharAlphaA(static_cast<char>(i))) t.flags[i] |= CC_ALPHA;
        if (IsCharAlphaNumericA(static_cast<char>(i))) t.flags[i] |= CC_ALNUM;
        if (i >= '0' && i <= '9') t.flags[i] |= CC_DIGIT | CC_ALNUM;
        if (t.flags[i] & CC_ALNUM || i == '_' || i == '@') t.flags[i] |= CC_WORD;
    }
    t.ready = true;
    g_chars = t;
}
