// Settings: the INI file in the settings directory and the engine's
// registry key under HKEY_LOCAL_MACHINE.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct EngineState;

constexpr const char* SETTINGS_INI = "ORLUNDEX.INI";

// "<application data>\Tarvolin\Settings" (no trailing backslash).
void settings_directory(char* buffer, size_t size);
// Full path of a settings file (default: the engine's INI file).
void settings_file_path(const char* file, char* buffer, size_t size);

int IniReadString(const char* section, const char* key, const char* deflt, char* buffer, size_t size);
bool IniWriteString(const char* section, const char* key, const char* value);

bool RegReadString(const char* section, const char* key, const char* deflt, char* buffer,
                   size_t size, const char* file);
int32_t RegReadInt(const char* section, const char* key, int32_t deflt, const char* file);
int32_t RegReadStringAsInt(const char* section, const char* key, int32_t deflt, const char* file);
bool RegWriteString(const char* section, const char* key, const char* value, const char* file);
bool RegWriteInt(const char* section, const char* key, int32_t value, const char* file);
bool RegReadWide(const char* section, const wchar_t* key, const wchar_t* deflt, wchar_t* buffer,
                 size_t size, const char* file);
bool RegWriteWide(const char* section, const wchar_t* key, const wchar_t* value, const char* file);

// Notes an error in the INI file ("LastError" of section "KESTR44I"); with
// `show` also appends it to the additional error information.
void RecordLastError(EngineState* st, int32_t number, const char* text, bool show);
