// Message lookup: numbered texts from the string-table resource, overridden
// by a "KORDLANG.<language>" file when one is found.
#include "base/messages.h"

#include <stdio.h>
#include <string.h>

#include "base/engine_state.h"
#include "base/settings.h"

namespace {

// Numbers below this are never taken from a language file (99 is the engine
// version, which a translation must not change).
constexpr int FIRST_TRANSLATED_MESSAGE = 100;

// The language decision is process-wide: every engine instance in the
// process shows the same language. Empty paths mean "no language file".
struct LanguageFile {
    bool decided;
    char path[MAX_PATH];
    wchar_t path_w[MAX_PATH];
};
LanguageFile g_language;

bool is_unset(const char* language) { return language[0] == '\0' || lstrcmpiA(language, "XXX") == 0; }

void read_language_code(char* language, size_t size) {
    IniReadString("MAIN", "Language", "XXX", language, size);
    if (!is_unset(language)) return;
    GetProfileStringA("INTL", "sLanguage", "XXX", language, (DWORD)size);
    if (is_unset(language)) lstrcpynA(language, "enu", (int)size);
}

bool is_plain_file(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The engine's own directory first, then the search path.
bool find_language_file(const char* name, char* path) {
    DWORD length = GetModuleFileNameA(engine_module(), path, MAX_PATH);
    if (length && length < MAX_PATH) {
        char* slash = strrchr(path, '\\');
        if (slash && (size_t)(slash + 1 - path) + strlen(name) < MAX_PATH) {
            strcpy(slash + 1, name);
            if (is_plain_file(path)) return true;
        }
    }
    char* file_part = nullptr;
    DWORD found = SearchPathA(nullptr, name, nullptr, MAX_PATH, path, &file_part);
    return found && found < MAX_PATH;
}

void decide_language() {
    char language[64];
    read_language_code(language, sizeof language);
    char name[80];
    snprintf(name, sizeof name, "KORDLANG.%s", language);
    g_language.decided = true;
    if (!find_language_file(name, g_language.path)) {
        g_language.path[0] = '\0';
        g_language.path_w[0] = L'\0';
        return;
    }
    MultiByteToWideChar(CP_ACP, 0, g_language.path, -1, g_language.path_w, MAX_PATH);
}

// Reads "X<number>" of section "MAIN"; 0 when the key is missing or empty.
int read_translation(int number, char* buffer, int size) {
    char key[16];
    snprintf(key, sizeof key, "X%d", number);
    return (int)GetPrivateProfileStringA("MAIN", key, "", buffer, (DWORD)size, g_language.path);
}

int read_translation(int number, wchar_t* buffer, int size) {
    wchar_t key[16];
    _snwprintf(key, 16, L"X%d", number);
    return (int)GetPrivateProfileStringW(L"MAIN", key, L"", buffer, (DWORD)size, g_language.path_w);
}

int load_resource(HMODULE module, int number, char* buffer, int size) {
    return LoadStringA(module, (UINT)number, buffer, size);
}

int load_resource(HMODULE module, int number, wchar_t* buffer, int size) {
    return LoadStringW(module, (UINT)number, buffer, size);
}

// Message texts spell a line feed as "~" and a tab as "|" so that they fit
// on one line of a resource or language file.
template <typename C>
void expand_control_characters(C* text, int length) {
    for (C* p = text; p < text + length; ++p) {
        if (*p == C('~')) *p = C('\n');
        else if (*p == C('|')) *p = C('\t');
    }
}

template <typename C>
int load_message(HMODULE module, int number, C* buffer, int size) {
    // LoadString with a size of 0 would hand back a pointer instead of a copy.
    if (!buffer || size <= 0) return 0;
    if (!g_language.decided || number == 0) decide_language();
    int length = 0;
    if (number >= FIRST_TRANSLATED_MESSAGE && g_language.path[0])
        length = read_translation(number, buffer, size);
    if (length == 0) {
        length = load_resource(module ? module : (HMODULE)engine_module(), number, buffer, size);
        if (length <= 0) length = 0;
        buffer[length] = 0;
    }
    expand_control_characters(buffer, length);
    return length;
}

}  // namespace

KESTR_API int LoadMyString(EngineState*, HMODULE module, int number, char* buffer, int size) {
    return load_message(module, number, buffer, size);
}

KESTR_API int LoadMyStringW(EngineState*, HMODULE module, int number, wchar_t* buffer, int size) {
    return load_message(module, number, buffer, size);
}

int message_text(EngineState* st, int number, char* buffer, int size) {
    return LoadMyString(st, nullptr, number, buffer, size);
}
