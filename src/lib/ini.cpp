// INI built-in functions: reading, writing, deleting and itemizing entries
// of the system profile and of private INI files.
#include <string.h>
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

// Profile reads go through a buffer of this size.
constexpr DWORD kProfileBytes = 65535;
// How long IniWrite's broadcast waits for each window.
constexpr UINT kBroadcastTimeout = 1000;

// The system profile, as the profile services name it.
constexpr const char* kSystemProfile = "win.ini";

// A heap block for one profile read, freed at the end of the call.
class ProfileBuffer {
public:
    ProfileBuffer() : data_(static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kProfileBytes))) {}
    ProfileBuffer(const ProfileBuffer&) = delete;
    ProfileBuffer& operator=(const ProfileBuffer&) = delete;
    ~ProfileBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    char* data() const { return data_; }

private:
    char* data_;
};

// Private files refuse the device lines of the [386Enh] section.
bool private_entry_allowed(EngineState* st, const char* section, const char* key) {
    if (lstrcmpiA(section, "386ENH") == 0 && lstrcmpiA(key, "DEVICE") == 0)
        return raise(st, Err::IniPrivateDeviceKeyword);
    return true;
}

bool set_text(EngineState* st, Value* result, const char* text, size_t length) {
    return set_result<char>(st, result, Span<char>{text, length});
}

// `file` null reads the system profile.
void read_entry(EngineState* st, Value* result, const char* section, const char* key, const char* fallback,
                const char* file) {
    ProfileBuffer buffer;
    if (!buffer.data()) {
        raise(st, Err::RegAllocFailed);
        return;
    }
    const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(), kProfileBytes,
                                             file ? file : kSystemProfile);
    (void)set_text(st, result, buffer.data(), n);
}

// IniRead(section, key, default)
BUILTIN(ini_read) {
    read_entry(st, result, value_text(st, args[1].v), value_text(st, args[2].v), value_text(st, args[3].v), nullptr);
}

// IniReadPvt(section, key, default, file)
BUILTIN(ini_read_pvt) {
    const char* section = value_text(st, args[1].v);
    const char* key = value_text(st, args[2].v);
    if (!private_entry_allowed(st, section, key)) return;
    read_entry(st, result, section, key, value_text(st, args[3].v), value_text(st, args[4].v));
}

// Tells every top-level window that a section of the system profile
// changed; the state marks the broadcast while it runs.
void broadcast_profile_change(EngineState* st, const char* section) {
    st->profile_broadcast = 1;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section),
                        SMTO_ABORTIFHUNG, kBroadcastTimeout, nullptr);
    st->profile_broadcast = 0;
}

// Writes (or with a null value deletes) an entry; a null key deletes the
// section. All three empty only flushes the file's cache.
void write_entry(EngineState* st, Value* result, const char* section, const char* key, const char* value,
                 const char* file) {
    const bool flush = !section[0] && (!key || !key[0]) && (!value || !value[0]);
    const char* target = file ? file : kSystemProfile;
    if (flush) {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, target);
    } else {
        WritePrivateProfileStringA(section, key, value, target);
        if (!file) broadcast_profile_change(st, section);
    }
    result->v.integer = 1;
}

// IniWrite(section, key, value)
BUILTIN(ini_write) {
    write_entry(st, result, value_text(st, args[1].v), value_text(st, args[2].v), value_text(st, args[3].v),
                nullptr);
}

// IniWritePvt(section, key, value, file)
BUILTIN(ini_write_pvt) {
    const char* section = value_text(st, args[1].v);
    const char* key = value_text(st, args[2].v);
    if (!private_entry_allowed(st, section, key)) return;
    write_entry(st, result, section, key, value_text(st, args[3].v), value_text(st, args[4].v));
}

// An empty key names the whole section.
const char* key_or_section(const char* key) { return key[0] ? key : nullptr; }

// IniDelete(section, key): an empty key deletes the section.
BUILTIN(ini_delete) {
    const char* section = value_text(st, args[1].v);
    if (!section[0]) {
        result->v.integer = 1;
        return;
    }
    write_entry(st, result, section, key_or_section(value_text(st, args[2].v)), nullptr, nullptr);
}

// IniDeletePvt(section, key, file)
BUILTIN(ini_delete_pvt) {
    const char* section = value_text(st, args[1].v);
    const char* key = value_text(st, args[2].v);
    if (!private_entry_allowed(st, section, key)) return;
    if (!section[0]) {
        result->v.integer = 1;
        return;
    }
    write_entry(st, result, section, key_or_section(key), nullptr, value_text(st, args[3].v));
}

// The section names (empty section) or the key names of a section as an
// item list in the default delimiter.
void itemize(EngineState* st, Value* result, const char* section, const char* file) {
    ProfileBuffer buffer;
    if (!buffer.data()) {
        raise(st, Err::RegAllocFailed);
        return;
    }
    const DWORD n = section[0]
                        ? GetPrivateProfileStringA(section, nullptr, "", buffer.data(), kProfileBytes, file)
                        : GetPrivateProfileSectionNamesA(buffer.data(), kProfileBytes, file);
    // The names arrive NUL-separated; the last NUL of the list is dropped.
    DWORD length = n;
    while (length > 0 && buffer.data()[length - 1] == '\0') --length;
    const char delimiter = default_item_delimiter(st);
    for (DWORD i = 0; i < length; ++i)
        if (buffer.data()[i] == '\0') buffer.data()[i] = delimiter;
    (void)set_text(st, result, buffer.data(), length);
}

// IniItemize(section)
BUILTIN(ini_itemize) { itemize(st, result, value_text(st, args[1].v), kSystemProfile); }

// The full name of a private file as the profile services find it: a name
// without a folder lives in the Windows folder.
void private_file_path(const char* file, char* out, size_t size) {
    if (strpbrk(file, "\\/:")) {
        lstrcpynA(out, file, static_cast<int>(size));
        return;
    }
    const UINT n = GetWindowsDirectoryA(out, static_cast<UINT>(size));
    if (n == 0 || n + strlen(file) + 2 > size) {
        lstrcpynA(out, file, static_cast<int>(size));
        return;
    }
    lstrcatA(out, "\\");
    lstrcatA(out, file);
}

// IniItemizePvt(section, file)
BUILTIN(ini_itemize_pvt) {
    const char* file = value_text(st, args[2].v);
    char path[MAX_PATH];
    private_file_path(file, path, sizeof path);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        raise(st, Err::IniItemizePvtNotFound);
        return;
    }
    itemize(st, result, value_text(st, args[1].v), file);
}

}  // namespace

constexpr BuiltinRow kIniBuiltins[] = {
    BUILTIN_ROW("inidelete", ini_delete),
    BUILTIN_ROW("inideletepvt", ini_delete_pvt),
    BUILTIN_ROW("iniitemize", ini_itemize),
    BUILTIN_ROW("iniitemizepvt", ini_itemize_pvt),
    BUILTIN_ROW("iniread", ini_read),
    BUILTIN_ROW("inireadpvt", ini_read_pvt),
    BUILTIN_ROW("iniwrite", ini_write),
    BUILTIN_ROW("iniwritepvt", ini_write_pvt),
};
constexpr size_t kIniBuiltinCount = sizeof(kIniBuiltins) / sizeof(kIniBuiltins[0]);
