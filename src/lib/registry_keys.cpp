// Registry key built-in functions: opening, creating, closing and deleting
// keys, key lists and last-write times, the extra access flags, remote
// roots, hive loading and application path entries.
#include <string.h>
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/registry_path.h"
#include "lib/text_ops.h"
#include "lib/ymdhms.h"

namespace {

// RegOpenKey and RegCreateKey open for reading and writing.
constexpr REGSAM kReadWrite = 0x2001F;
constexpr REGSAM kModeRead = 0x20019;
constexpr REGSAM kModeWrite = 0x20006;
constexpr REGSAM kModeFull = 0xF003F;
// Room for a key or value name as the platform limits them.
constexpr DWORD kNameBytes = 16384;
constexpr const char* kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

HKEY handle_argument(const Value* args, int i) { return reg_key(args[i].v.integer); }

bool open_or_create(EngineState* st, Value* args, Value* result, REGSAM access, bool create) {
    HKEY key = nullptr;
    const REGSAM mask = access | st->registry_view;
    const char* subkey = value_text(st, args[2].v);
    const LONG status = create ? RegCreateKeyExA(handle_argument(args, 1), subkey, 0, nullptr, 0, mask, nullptr,
                                                 &key, nullptr)
                               : RegOpenKeyExA(handle_argument(args, 1), subkey, 0, mask, &key);
    if (status != ERROR_SUCCESS) {
        record_platform_error(st, create ? "RegCreateKey" : "RegOpenKey", status);
        return raise(st, create ? Err::RegCreateKeyFailed : Err::RegOpenKeyFailed);
    }
    result->v.integer = reg_handle(key);
    return true;
}

// RegOpenKey(handle, subkey)
BUILTIN(reg_open_key) { (void)open_or_create(st, args, result, kReadWrite, false); }
// RegCreateKey(handle, subkey)
BUILTIN(reg_create_key) { (void)open_or_create(st, args, result, kReadWrite, true); }

// The access mask of a RegOpenKeyEx mode: a name or a number.
bool mode_access(EngineState* st, const char* mode, REGSAM* out) {
    *out = 0;
    if (lstrcmpiA(mode, "READ") == 0) *out = kModeRead;
    else if (lstrcmpiA(mode, "WRITE") == 0) *out = kModeWrite;
    else if (lstrcmpiA(mode, "FULL") == 0) *out = kModeFull;
    else {
        char* end = nullptr;
        const unsigned long n = strtoul(mode, &end, 0);
        if (!mode[0] || *end) return raise(st, Err::RegOpenKeyExBadMode);
        *out = static_cast<REGSAM>(n);
    }
    return true;
}

// The registry view named by RegOpenKeyEx's fourth argument: "32", "64",
// or anything else for the extra access flags alone.
REGSAM view_access(const char* view) {
    if (strcmp(view, "32") == 0) return KEY_WOW64_32KEY;
    if (strcmp(view, "64") == 0) return KEY_WOW64_64KEY;
    return 0;
}

// RegOpenKeyEx(handle, subkey, mode, view, reserved)
BUILTIN(reg_open_key_ex) {
    REGSAM access;
    if (!mode_access(st, value_text(st, args[3].v), &access)) return;
    (void)open_or_create(st, args, result, access | view_access(value_text(st, args[4].v)), false);
}

// RegCloseKey(handle)
BUILTIN(reg_close_key) {
    const LONG status = RegCloseKey(handle_argument(args, 1));
    if (status != ERROR_SUCCESS) {
        record_platform_error(st, "RegCloseKey", status);
        raise(st, Err::RegCloseKeyFailed);
        return;
    }
    result->v.integer = 1;
}

// RegExistKey(handle, subkey)
BUILTIN(reg_exist_key) {
    const char* subkey = value_text(st, args[2].v);
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(handle_argument(args, 1), subkey, 0, KEY_READ | st->registry_view, &opened);
    if (status == ERROR_SUCCESS) RegCloseKey(opened);
    result->v.integer = status == ERROR_SUCCESS;
}

// Deletes `subkey` of `parent` and everything below it, deepest first.
LONG delete_tree(EngineState* st, HKEY parent, const char* subkey) {
    HKEY key = nullptr;
    const REGSAM access = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | st->registry_view;
    LONG status = RegOpenKeyExA(parent, subkey, 0, access, &key);
    if (status != ERROR_SUCCESS) return status;
    char child[256];
    for (;;) {
        DWORD length = sizeof child;
        status = RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        status = delete_tree(st, key, child);
        if (status != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    if (status != ERROR_NO_MORE_ITEMS) return status;
    // The extended delete (absent on old systems) honours the registry-view
    // flags; the plain one ignores them. Going through the generic
    // function-pointer type states that the looked-up entry has this type.
    typedef LONG(WINAPI * DeleteKeyEx)(HKEY, LPCSTR, REGSAM, DWORD);
    typedef void (*AnyFunction)();
    const FARPROC entry = GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA");
    const auto delete_ex = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<AnyFunction>(entry));
    if (st->registry_view && delete_ex) return delete_ex(parent, subkey, st->registry_view, 0);
    return RegDeleteKeyA(parent, subkey);
}

// RegDeleteKey(handle, subkey)
BUILTIN(reg_delete_key) {
    const char* subkey = value_text(st, args[2].v);
    if (!subkey[0]) {
        raise(st, Err::RegDeleteKeyBlankSubkey);
        return;
    }
    const LONG status = delete_tree(st, handle_argument(args, 1), subkey);
    if (status != ERROR_SUCCESS) {
        record_platform_error(st, "RegDeleteKey", status);
        raise(st, Err::RegDeleteKeyFailed);
        return;
    }
    result->v.integer = 1;
}

// ------------------------------------------------------------------ lists

// RegQueryKey(handle, index): the name of subkey `index` (from 0); "" past
// the last.
BUILTIN(reg_query_key) {
    char name[kNameBytes];
    DWORD length = sizeof name;
    const LONG status = RegEnumKeyExA(handle_argument(args, 1), static_cast<DWORD>(args[2].v.integer), name,
                                      &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS || args[2].v.integer < 0) {
        (void)set_result<char>(st, result, Span<char>{"", 0});
        return;
    }
    if (status != ERROR_SUCCESS) {
        record_platform_error(st, "RegEnumKeyEx", status);
        raise(st, Err::RegQueryValueFailed);
        return;
    }
    (void)set_result<char>(st, result, Span<char>{name, length});
}

// Subkey names (or value names) of `key` as an item list in the default
// delimiter; the unnamed default value is not an item.
bool name_list(EngineState* st, HKEY key, bool values, Value* result) {
    TextBuffer<char> list;
    const char delimiter = default_item_delimiter(st);
    char name[kNameBytes];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        const LONG status = values ? RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)
                                   : RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            record_platform_error(st, values ? "RegEnumValue" : "RegEnumKeyEx", status);
            return raise(st, Err::RegQueryValueFailed);
        }
        if (length == 0) continue;
        if (list.size() > 0) CHECK(list.append(st, &delimiter, 1));
        CHECK(list.append(st, name, length));
    }
    return list.to_result(st, result);
}

// RegQueryKeys(handle): the subkeys of the handle's key.
BUILTIN(reg_query_keys) { (void)name_list(st, handle_argument(args, 1), false, result); }

// RegQueryItem(handle, subkey): the value names of the subkey.
BUILTIN(reg_query_item) {
    ScopedKey key;
    if (key.open(st, handle_argument(args, 1), value_text(st, args[2].v), KEY_QUERY_VALUE, false) != ERROR_SUCCESS) {
        raise(st, Err::RegSubkeyOpenFailed);
        return;
    }
    (void)name_list(st, key.get(), true, result);
}

// RegQueryKeyLastWriteTime(handle, subkey): local time as YmdHms.
BUILTIN(reg_query_key_last_write_time) {
    ScopedKey key;
    if (key.open(st, handle_argument(args, 1), value_text(st, args[2].v), KEY_QUERY_VALUE, false) != ERROR_SUCCESS) {
        raise(st, Err::RegSubkeyOpenFailed);
        return;
    }
    FILETIME written, local;
    SYSTEMTIME t;
    const LONG status = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, &written);
    if (status != ERROR_SUCCESS || !FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &t)) {
        record_platform_error(st, "RegQueryInfoKey", status);
        raise(st, Err::RegQueryValueFailed);
        return;
    }
    char text[YMDHMS_TEXT_BYTES];
    format_ymdhms(Ymdhms{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}, st->two_digit_years == 0, text);
    (void)set_result<char>(st, result, Span<char>{text, strlen(text)});
}

// ------------------------------------------------------------------ flags, remote roots, hives

// RegOpenFlags(flags): the previous extra access flags.
BUILTIN(reg_open_flags) {
    result->v.integer = static_cast<int32_t>(st->registry_view);
    st->registry_view = static_cast<uint32_t>(args[1].v.integer);
}

// RegConnect(computer, root): only the machine and users roots exist remotely.
BUILTIN(reg_connect) {
    const HKEY root = handle_argument(args, 2);
    if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS) {
        raise(st, Err::RegConnectBadHandle);
        return;
    }
    const char* computer = value_text(st, args[1].v);
    HKEY key = nullptr;
    const LONG status = RegConnectRegistryA(computer[0] ? computer : nullptr, root, &key);
    if (status == ERROR_SUCCESS) {
        result->v.integer = reg_handle(key);
        return;
    }
    record_platform_error(st, "RegConnectRegistry", status);
    switch (status) {
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_COMPUTERNAME:
    case ERROR_BAD_NET_NAME:
        raise(st, Err::RegConnectBadComputer);
        return;
    case RPC_S_SERVER_UNAVAILABLE:
    case ERROR_CALL_NOT_IMPLEMENTED:
        raise(st, Err::RegConnectNoService);
        return;
    case ERROR_INVALID_HANDLE:
        raise(st, Err::RegConnectBadHandle);
        return;
    default:
        raise(st, Err::RegConnectFailed);
    }
}

// Enables the restore privilege that hive loading needs.
bool enable_restore_privilege() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

Err hive_error(LONG status) {
    switch (status) {
    case ERROR_INVALID_PARAMETER: return Err::RegUnloadHiveBadSubkey;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return Err::RegHiveAccessDenied;
    case ERROR_INVALID_HANDLE: return Err::RegHiveBadKeyHandle;
    case ERROR_BADKEY: return Err::RegUnloadHiveBadKey;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Err::RegLoadHiveFileNotFound;
    case ERROR_SHARING_VIOLATION: return Err::RegLoadHiveSharing;
    case ERROR_BADDB: return Err::RegLoadHiveNotHive;
    case ERROR_KEY_DELETED:
    case ERROR_ALREADY_EXISTS: return Err::RegLoadHiveBadKey;
    default: return Err::RegHiveFailed;
    }
}

// One worker for both: `file` is null when unloading.
void hive(EngineState* st, Value* args, Value* result, const char* file) {
    if (!enable_restore_privilege()) {
        raise(st, Err::RegHivePrivilege);
        return;
    }
    const HKEY root = handle_argument(args, 1);
    const char* subkey = value_text(st, args[2].v);
    const LONG status = file ? RegLoadKeyA(root, subkey, file) : RegUnLoadKeyA(root, subkey);
    if (status != ERROR_SUCCESS) {
        record_platform_error(st, file ? "RegLoadKey" : "RegUnLoadKey", status);
        raise(st, hive_error(status));
        return;
    }
    result->v.integer = 1;
}

// RegLoadHive(handle, subkey, file)
BUILTIN(reg_load_hive) { hive(st, args, result, value_text(st, args[3].v)); }
// RegUnloadHive(handle, subkey)
BUILTIN(reg_unload_hive) { hive(st, args, result, nullptr); }

// RegApp(program, path): the application path entry of `program` names the
// full path of the file and its folder.
BUILTIN(reg_app) {
    const char* program = value_text(st, args[1].v);
    const char* path = value_text(st, args[2].v);
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        raise(st, Err::RegAppFileNotFound);
        return;
    }
    char subkey[REG_SUBKEY_BYTES];
    char folder[MAX_PATH];
    lstrcpynA(subkey, kAppPaths, sizeof subkey);
    lstrcatA(subkey, program);
    lstrcpynA(folder, path, sizeof folder);
    char* slash = strrchr(folder, '\\');
    if (slash) *slash = '\0';
    ScopedKey key;
    const bool ok =
        key.open(st, HKEY_LOCAL_MACHINE, subkey, KEY_SET_VALUE, true) == ERROR_SUCCESS &&
        RegSetValueExA(key.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), strlen(path) + 1) ==
            ERROR_SUCCESS &&
        RegSetValueExA(key.get(), "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), strlen(folder) + 1) ==
            ERROR_SUCCESS;
    if (!ok) {
        raise(st, Err::RegAppWriteError);
        return;
    }
    result->v.integer = 1;
}

}  // namespace

constexpr BuiltinRow kRegistryKeyBuiltins[] = {
    BUILTIN_ROW("regapp", reg_app),
    BUILTIN_ROW("regclosekey", reg_close_key),
    BUILTIN_ROW("regconnect", reg_connect),
    BUILTIN_ROW("regcreatekey", reg_create_key),
    BUILTIN_ROW("regdeletekey", reg_delete_key),
    BUILTIN_ROW("regexistkey", reg_exist_key),
    BUILTIN_ROW("regloadhive", reg_load_hive),
    BUILTIN_ROW("regopenflags", reg_open_flags),
    BUILTIN_ROW("regopenkey", reg_open_key),
    BUILTIN_ROW("regopenkeyex", reg_open_key_ex),
    BUILTIN_ROW("regqueryitem", reg_query_item),
    BUILTIN_ROW("regquerykey", reg_query_key),
    BUILTIN_ROW("regquerykeylastwritetime", reg_query_key_last_write_time),
    BUILTIN_ROW("regquerykeys", reg_query_keys),
    BUILTIN_ROW("regunloadhive", reg_unload_hive),
};
constexpr size_t kRegistryKeyBuiltinCount = sizeof(kRegistryKeyBuiltins) / sizeof(kRegistryKeyBuiltins[0]);
