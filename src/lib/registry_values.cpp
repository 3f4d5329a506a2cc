// Registry value built-in functions: querying and setting every value type
// through the subkey[value] naming, value existence, deletion and type.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/registry_path.h"
#include "lib/text_ops.h"

namespace {

// The type numbers RegQueryEx and RegSetEx accept.
constexpr int32_t kTypeString = REG_SZ;
constexpr int32_t kTypeExpandable = REG_EXPAND_SZ;
constexpr int32_t kTypeBinary = REG_BINARY;
constexpr int32_t kTypeDword = REG_DWORD;
constexpr int32_t kTypeMultiString = REG_MULTI_SZ;
constexpr int32_t kTypeQword = REG_QWORD;

// How a query presents the value; each is one function's rules.
enum class Query { Value, Str, ExpSz, Bin, Dword, Qword, MulSz };

// A value as read: its type and bytes, in a block of the process heap.
class ValueData {
public:
    ValueData() = default;
    ValueData(const ValueData&) = delete;
    ValueData& operator=(const ValueData&) = delete;
    ~ValueData() {
        if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    BYTE* bytes = nullptr;
};

// The text that a string type holds: up to its first NUL or its end.
size_t text_length(const ValueData& data) {
    const char* text = reinterpret_cast<const char*>(data.bytes);
    size_t n = 0;
    while (n < data.size && text[n]) ++n;
    return n;
}

// Reads value `name` of `key`: a size query, then the read into a block of
// that size (one NUL more, so string types are always terminated).
bool read_value(EngineState* st, HKEY key, const char* name, ValueData* out) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &out->type, nullptr, &size) != ERROR_SUCCESS)
        return raise(st, Err::RegQueryValueFailed);
    out->bytes = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 2));
    if (!out->bytes) return raise(st, Err::RegAllocFailed);
    out->size = size;
    if (RegQueryValueExA(key, name, nullptr, &out->type, out->bytes, &out->size) != ERROR_SUCCESS)
        return raise(st, Err::RegQueryValueFailed);
    return true;
}

// Opens the subkey of argument 2 for reading and reads its value.
bool query_argument(EngineState* st, Value* args, ValueData* data) {
    RegName name;
    CHECK(split_reg_name(st, value_text(st, args[2].v), &name));
    ScopedKey key;
    if (key.open(st, reg_key(args[1].v.integer), name.subkey, KEY_QUERY_VALUE, false) != ERROR_SUCCESS)
        return raise(st, Err::RegSubkeyOpenFailed);
    return read_value(st, key.get(), name.value, data);
}

bool set_text(EngineState* st, Value* result, const char* text, size_t length) {
    return set_result<char>(st, result, Span<char>{text, length});
}

uint32_t dword_of(const ValueData& data) {
    uint32_t n = 0;
    memcpy(&n, data.bytes, data.size < 4 ? data.size : 4);
    return data.type == REG_DWORD_BIG_ENDIAN ? _byteswap_ulong(n) : n;
}

bool dword_text(EngineState* st, Value* result, const ValueData& data, bool hex) {
    char text[16];
    snprintf(text, sizeof text, hex ? "%lX" : "%lu", static_cast<unsigned long>(dword_of(data)));
    return set_text(st, result, text, strlen(text));
}

bool string_text(EngineState* st, Value* result, const ValueData& data) {
    return set_text(st, result, reinterpret_cast<const char*>(data.bytes), text_length(data));
}

// Each byte as "%02X", separated by single spaces.
bool binary_text(EngineState* st, Value* result, const ValueData& data) {
    char* out = new_result_text<char>(st, result, data.size ? data.size * 3 - 1 : 0);
    if (!out) return false;
    for (DWORD i = 0; i < data.size; ++i) {
        char pair[4];
        snprintf(pair, sizeof pair, "%02X ", data.bytes[i]);
        memcpy(out + i * 3, pair, i + 1 < data.size ? 3 : 2);
    }
    return true;
}

bool expanded_text(EngineState* st, Value* result, const ValueData& data) {
    const char* text = reinterpret_cast<const char*>(data.bytes);
    const DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
    char* out = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, needed + 1));
    if (!out) return raise(st, Err::RegAllocFailed);
    const DWORD n = ExpandEnvironmentStringsA(text, out, needed + 1);
    const bool ok = set_text(st, result, out, n ? n - 1 : 0);
    HeapFree(GetProcessHeap(), 0, out);
    return ok;
}

// The strings of a multi-string joined by `delimiter`; the closing pair of
// NULs is dropped.
bool multi_string_text(EngineState* st, Value* result, const ValueData& data, char delimiter) {
    size_t n = data.size;
    const char* text = reinterpret_cast<const char*>(data.bytes);
    while (n > 0 && text[n - 1] == '\0') --n;
    char* out = new_result_text<char>(st, result, n);
    if (!out) return false;
    for (size_t i = 0; i < n; ++i) out[i] = text[i] ? text[i] : delimiter;
    return true;
}

bool qword_text(EngineState* st, Value* result, const ValueData& data) {
    unsigned long long n = 0;
    memcpy(&n, data.bytes, data.size < 8 ? data.size : 8);
    char text[24];
    snprintf(text, sizeof text, "%llu", n);
    return set_text(st, result, text, strlen(text));
}

// RegQueryValue's rule: strings and numbers as text, other types name the
// function that reads them.
bool value_text_of(EngineState* st, Value* result, const ValueData& data) {
    switch (data.type) {
    case REG_SZ:
        return string_text(st, result, data);
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        return dword_text(st, result, data, false);
    case REG_EXPAND_SZ:
        return raise(st, Err::RegQueryValueIsExpSz);
    case REG_BINARY:
        return raise(st, Err::RegQueryValueIsBinary);
    case REG_MULTI_SZ:
        return raise(st, Err::RegQueryValueIsMulSz);
    case REG_QWORD:
        return raise(st, Err::RegQueryValueIsQword);
    default:
        return raise(st, Err::RegQueryValueNotString);
    }
}

// The delimiter of a multi-string: exactly one character (1487).
bool multi_delimiter(EngineState* st, const char* text, char* out) {
    *out = text[0];
    return (text[0] && !text[1]) || raise(st, Err::RegMulSzBadDelimiter);
}

// One worker for every query: reads argument 2's value and presents it as
// `how` says; `delimiter` serves multi-strings, `hex` DWORDs.
void query(EngineState* st, Value* args, Value* result, Query how, const char* delimiter_text, bool hex) {
    char delimiter = 0;
    if (how == Query::MulSz && !multi_delimiter(st, delimiter_text, &delimiter)) return;
    ValueData data;
    if (!query_argument(st, args, &data)) return;
    const DWORD t = data.type;
    switch (how) {
    case Query::Value:
        (void)value_text_of(st, result, data);
        return;
    case Query::Str:
        if (t == REG_SZ) (void)string_text(st, result, data);
        else if (t == REG_EXPAND_SZ) (void)expanded_text(st, result, data);
        else raise(st, Err::RegQueryStrWrongType);
        return;
    case Query::ExpSz:
        if (t == REG_EXPAND_SZ) (void)string_text(st, result, data);
        else raise(st, Err::RegQueryExpSzWrongType);
        return;
    case Query::Bin:
        if (t == REG_BINARY) (void)binary_text(st, result, data);
        else raise(st, Err::RegQueryBinNotBinary);
        return;
    case Query::Dword:
        if (t == REG_DWORD || t == REG_DWORD_BIG_ENDIAN) (void)dword_text(st, result, data, hex);
        else raise(st, Err::RegQueryDwordNotDword);
        return;
    case Query::Qword:
        if (t == REG_QWORD) (void)qword_text(st, result, data);
        else raise(st, Err::RegQueryQwordWrongType);
        return;
    case Query::MulSz:
        if (t == REG_MULTI_SZ) (void)multi_string_text(st, result, data, delimiter);
        else raise(st, Err::RegQueryMulSzWrongType);
        return;
    }
}

// RegQueryValue(handle, subkey[value])
BUILTIN(reg_query_value) { query(st, args, result, Query::Value, "", false); }
// RegQueryStr(handle, subkey[value])
BUILTIN(reg_query_str) { query(st, args, result, Query::Str, "", false); }
// RegQueryExpSz(handle, subkey[value])
BUILTIN(reg_query_exp_sz) { query(st, args, result, Query::ExpSz, "", false); }
// RegQueryBin(handle, subkey[value])
BUILTIN(reg_query_bin) { query(st, args, result, Query::Bin, "", false); }
// RegQueryDword(handle, subkey[value], flags)
BUILTIN(reg_query_dword) { query(st, args, result, Query::Dword, "", optional_arg(args, count, 3, 0) & 1); }
// RegQueryQword(handle, subkey[value])
BUILTIN(reg_query_qword) { query(st, args, result, Query::Qword, "", false); }
// RegQueryMulSz(handle, subkey[value], delimiter)
BUILTIN(reg_query_mul_sz) { query(st, args, result, Query::MulSz, value_text(st, args[3].v), false); }

// The query each type number of RegQueryEx and RegSetEx selects.
bool query_of_type(int32_t type, Query* out) {
    switch (type) {
    case kTypeString: *out = Query::Value; return true;
    case kTypeExpandable: *out = Query::ExpSz; return true;
    case kTypeBinary: *out = Query::Bin; return true;
    case kTypeDword: *out = Query::Dword; return true;
    case kTypeMultiString: *out = Query::MulSz; return true;
    case kTypeQword: *out = Query::Qword; return true;
    default: return false;
    }
}

// RegQueryEx(handle, subkey[value], delimiter, type)
BUILTIN(reg_query_ex) {
    Query how;
    if (!query_of_type(args[4].v.integer, &how)) {
        raise(st, Err::RegQueryExBadType);
        return;
    }
    query(st, args, result, how, value_text(st, args[3].v), false);
}

// ------------------------------------------------------------------ setting

// The bytes to store and their type, converted before anything is opened,
// so that bad input changes nothing.
struct NewValue {
    DWORD type;
    TextBuffer<char> bytes;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "01 02 FF": two-digit hex bytes separated by blanks, in the order written.
bool hex_bytes(EngineState* st, const char* text, NewValue* out, Err bad) {
    const char* p = text;
    for (;;) {
        while (is_blank(*p)) ++p;
        if (!*p) return true;
        const int high = hex_digit(p[0]);
        const int low = high < 0 ? -1 : hex_digit(p[1]);
        if (low < 0 || (p[2] && !is_blank(p[2]))) return raise(st, bad);
        const char byte = static_cast<char>(high * 16 + low);
        CHECK(out->bytes.append(st, &byte, 1));
        p += 2;
    }
}

// A DWORD from decimal text (a leading minus wraps as 32-bit arithmetic
// does) or, with `hex`, from hex digits.
bool dword_bytes(EngineState* st, const char* text, bool hex, NewValue* out) {
    const char* p = text;
    while (is_blank(*p)) ++p;
    const bool negative = !hex && *p == '-';
    if (negative) ++p;
    unsigned long long n = 0;
    const char* digits = p;
    for (; *p; ++p) {
        const int d = hex ? hex_digit(*p) : (*p >= '0' && *p <= '9' ? *p - '0' : -1);
        if (d < 0) break;
        n = n * (hex ? 16 : 10) + d;
        if (n > 0xFFFFFFFFull) return raise(st, Err::RegSetDwordBadValue);
    }
    while (is_blank(*p)) ++p;
    if (p == digits || *p) return raise(st, Err::RegSetDwordBadValue);
    const uint32_t value = negative ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    return out->bytes.append(st, reinterpret_cast<const char*>(&value), 4);
}

bool string_bytes(EngineState* st, const char* text, NewValue* out) {
    return out->bytes.append(st, text, strlen(text) + 1);
}

// Each delimiter becomes a NUL, and a NUL pair closes the list.
bool multi_string_bytes(EngineState* st, const char* text, const char* delimiter_text, NewValue* out) {
    char delimiter;
    CHECK(multi_delimiter(st, delimiter_text, &delimiter));
    CHECK(out->bytes.append(st, text, strlen(text)));
    char* p = out->bytes.data();
    for (size_t i = 0; i < out->bytes.size(); ++i)
        if (p[i] == delimiter) p[i] = '\0';
    const char pair[2] = {0, 0};
    return out->bytes.append(st, pair, 2);
}

// The conversion of `type`; false with 1493 for a type without one.
bool convert(EngineState* st, int32_t type, const char* text, const char* delimiter, bool hex, NewValue* out) {
    out->type = static_cast<DWORD>(type);
    switch (type) {
    case kTypeString:
    case kTypeExpandable:
        return string_bytes(st, text, out);
    case kTypeBinary:
        return hex_bytes(st, text, out, Err::RegSetBinBadString);
    case kTypeQword:
        return hex_bytes(st, text, out, Err::RegSetQwordBadString);
    case kTypeDword:
        return dword_bytes(st, text, hex, out);
    case kTypeMultiString:
        return multi_string_bytes(st, text, delimiter, out);
    default:
        return raise(st, Err::RegSetExBadType);
    }
}

// Creates argument 2's subkey when needed and stores the converted value.
void store(EngineState* st, Value* args, Value* result, int32_t type, const char* delimiter, bool hex) {
    RegName name;
    if (!split_reg_name(st, value_text(st, args[2].v), &name)) return;
    NewValue value;
    if (!convert(st, type, value_text(st, args[3].v), delimiter, hex, &value)) return;
    ScopedKey key;
    if (key.open(st, reg_key(args[1].v.integer), name.subkey, KEY_SET_VALUE, true) != ERROR_SUCCESS) {
        raise(st, Err::RegSubkeyOpenFailed);
        return;
    }
    const LONG status = RegSetValueExA(key.get(), name.value, 0, value.type,
                                       reinterpret_cast<const BYTE*>(value.bytes.data()),
                                       static_cast<DWORD>(value.bytes.size()));
    if (status != ERROR_SUCCESS) {
        record_platform_error(st, "RegSetValueEx", status);
        raise(st, Err::RegSetValueFailed);
        return;
    }
    result->v.integer = 1;
}

// RegSetValue(handle, subkey[value], text)
BUILTIN(reg_set_value) { store(st, args, result, kTypeString, "", false); }
// RegSetExpSz(handle, subkey[value], text)
BUILTIN(reg_set_exp_sz) { store(st, args, result, kTypeExpandable, "", false); }
// RegSetBin(handle, subkey[value], hex bytes)
BUILTIN(reg_set_bin) { store(st, args, result, kTypeBinary, "", false); }
// RegSetQword(handle, subkey[value], hex bytes)
BUILTIN(reg_set_qword) { store(st, args, result, kTypeQword, "", false); }
// RegSetDword(handle, subkey[value], number, flags)
BUILTIN(reg_set_dword) { store(st, args, result, kTypeDword, "", optional_arg(args, count, 4, 0) & 1); }
// RegSetMulSz(handle, subkey[value], list, delimiter)
BUILTIN(reg_set_mul_sz) { store(st, args, result, kTypeMultiString, value_text(st, args[4].v), false); }
// RegSetEx(handle, subkey[value], value, delimiter, type)
BUILTIN(reg_set_ex) { store(st, args, result, args[5].v.integer, value_text(st, args[4].v), false); }

// ------------------------------------------------------------------ existence, type, deletion

// RegExistValue(handle, subkey[value])
BUILTIN(reg_exist_value) {
    RegName name;
    if (!split_reg_name(st, value_text(st, args[2].v), &name)) return;
    ScopedKey key;
    if (key.open(st, reg_key(args[1].v.integer), name.subkey, KEY_QUERY_VALUE, false) != ERROR_SUCCESS) return;
    result->v.integer = RegQueryValueExA(key.get(), name.value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// RegEntryType(handle, subkey[value])
BUILTIN(reg_entry_type) {
    RegName name;
    if (!split_reg_name(st, value_text(st, args[2].v), &name)) return;
    ScopedKey key;
    DWORD type = 0;
    if (key.open(st, reg_key(args[1].v.integer), name.subkey, KEY_QUERY_VALUE, false) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), name.value, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
        raise(st, Err::RegEntryTypeFailed);
        return;
    }
    result->v.integer = static_cast<int32_t>(type);
}

// RegDelValue(handle, subkey[value])
BUILTIN(reg_del_value) {
    RegName name;
    if (!split_reg_name(st, value_text(st, args[2].v), &name)) return;
    ScopedKey key;
    if (key.open(st, reg_key(args[1].v.integer), name.subkey, KEY_SET_VALUE, false) != ERROR_SUCCESS) {
        raise(st, Err::RegSubkeyOpenFailed);
        return;
    }
    result->v.integer = RegDeleteValueA(key.get(), name.value) == ERROR_SUCCESS;
}

}  // namespace

constexpr BuiltinRow kRegistryValueBuiltins[] = {
    BUILTIN_ROW("regdelvalue", reg_del_value),
    BUILTIN_ROW("regentrytype", reg_entry_type),
    BUILTIN_ROW("regexistvalue", reg_exist_value),
    BUILTIN_ROW("regquerybin", reg_query_bin),
    BUILTIN_ROW("regquerydword", reg_query_dword),
    BUILTIN_ROW("regqueryex", reg_query_ex),
    BUILTIN_ROW("regqueryexpsz", reg_query_exp_sz),
    BUILTIN_ROW("regquerymulsz", reg_query_mul_sz),
    BUILTIN_ROW("regqueryqword", reg_query_qword),
    BUILTIN_ROW("regquerystr", reg_query_str),
    BUILTIN_ROW("regqueryvalue", reg_query_value),
    BUILTIN_ROW("regsetbin", reg_set_bin),
    BUILTIN_ROW("regsetdword", reg_set_dword),
    BUILTIN_ROW("regsetex", reg_set_ex),
    BUILTIN_ROW("regsetexpsz", reg_set_exp_sz),
    BUILTIN_ROW("regsetmulsz", reg_set_mul_sz),
    BUILTIN_ROW("regsetqword", reg_set_qword),
    BUILTIN_ROW("regsetvalue", reg_set_value),
};
constexpr size_t kRegistryValueBuiltinCount = sizeof(kRegistryValueBuiltins) / sizeof(kRegistryValueBuiltins[0]);
