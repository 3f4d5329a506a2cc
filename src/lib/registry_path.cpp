// Registry key handles, the subkey[value] naming and scoped subkey opening.
#include "lib/registry_path.h"
#include <stdio.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/errors.h"

namespace {
constexpr int32_t kClassesRootAlias = 1;
}

HKEY reg_key(int32_t handle) {
    if (handle == kClassesRootAlias) return HKEY_CLASSES_ROOT;
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(handle));
}

int32_t reg_handle(HKEY key) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(key)); }

bool split_reg_name(EngineState* st, const char* text, RegName* out) {
    const char* open = strchr(text, '[');
    const size_t subkey_length = open ? static_cast<size_t>(open - text) : strlen(text);
    if (subkey_length >= REG_SUBKEY_BYTES) return raise(st, Err::RegSubkeyTooLong);
    memcpy(out->subkey, text, subkey_length);
    out->subkey[subkey_length] = '\0';
    out->value[0] = '\0';
    if (!open) return true;
    const size_t rest = strlen(open);
    if (open[rest - 1] != ']' || rest < 2) return raise(st, Err::RegBadDataItem);
    if (rest - 2 >= REG_SUBKEY_BYTES) return raise(st, Err::RegSubkeyTooLong);
    memcpy(out->value, open + 1, rest - 2);
    out->value[rest - 2] = '\0';
    // "sub\key\[name]" names the same value as "sub\key[name]".
    if (subkey_length > 0 && out->subkey[subkey_length - 1] == '\\') out->subkey[subkey_length - 1] = '\0';
    return true;
}

LONG ScopedKey::open(EngineState* st, HKEY root, const char* subkey, REGSAM access, bool create) {
    if (owned_) RegCloseKey(key_);
    owned_ = false;
    key_ = root;
    if (!subkey[0]) return ERROR_SUCCESS;
    access |= st->registry_view;
    HKEY opened = nullptr;
    const LONG status = create ? RegCreateKeyExA(root, subkey, 0, nullptr, 0, access, nullptr, &opened, nullptr)
                               : RegOpenKeyExA(root, subkey, 0, access, &opened);
    if (status != ERROR_SUCCESS) return status;
    key_ = opened;
    owned_ = true;
    return ERROR_SUCCESS;
}

void record_platform_error(EngineState* st, const char* call, LONG status) {
    char text[96];
    snprintf(text, sizeof text, "%s: %ld", call, static_cast<long>(status));
    AddErrorInfo(st, text);
}
