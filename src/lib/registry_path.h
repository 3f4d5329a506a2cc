// Registry key handles as script integers, the subkey[value] naming that the
// value functions read, and opening a subkey for the length of one call.
// Shared by the registry key and value files.
#pragma once

#include <stdint.h>
#include <windows.h>

struct EngineState;

// The longest subkey text a value name may carry, terminator included.
constexpr size_t REG_SUBKEY_BYTES = 2050;

// A script handle as the platform's key: the predefined roots are
// sign-extended as the platform defines them, and 1 is the classes root.
HKEY reg_key(int32_t handle);
int32_t reg_handle(HKEY key);

// "sub\key[name]" split into its subkey and value name.
struct RegName {
    char subkey[REG_SUBKEY_BYTES];
    char value[REG_SUBKEY_BYTES];
};

// Splits `text`; a missing closing bracket raises 1402, a long subkey 1460.
[[nodiscard]] bool split_reg_name(EngineState* st, const char* text, RegName* out);

// A key opened for one call and closed when it goes out of scope; the
// handle itself when the subkey is empty.
class ScopedKey {
public:
    ScopedKey() = default;
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    ~ScopedKey() {
        if (owned_) RegCloseKey(key_);
    }
    // Opens (or with `create` creates) `subkey` of `root`; the extra access
    // flags are added to `access`. Returns the platform's status.
    LONG open(EngineState* st, HKEY root, const char* subkey, REGSAM access, bool create);
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
    bool owned_ = false;
};

// Notes a failing platform call and its status in the additional error
// information, as "RegOpenKey: 2".
void record_platform_error(EngineState* st, const char* call, LONG status);
