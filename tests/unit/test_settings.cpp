// Settings readers and writers against Wine's real registry and the real
// settings directory, and RecordLastError.
#include "engine_fixture.h"

#include <string>

#include "base/error_info.h"
#include "base/settings.h"

namespace {

constexpr const char* kFile = "KSTUNIT.INI";
constexpr const char* kSection = "UnitSection";
constexpr const char* kKeyPath = "Software\\Quellmark\\Settings\\KSTUNIT\\UnitSection";
constexpr const char* kParentPath = "Software\\Quellmark\\Settings\\KSTUNIT";

REGSAM view() { return g_os.is_wow64 ? KEY_WOW64_64KEY : 0; }

class SettingsRegistry : public EngineTest {
protected:
    void TearDown() override {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, view(), 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kParentPath, view(), 0);
        EngineTest::TearDown();
    }

    // Reads a value straight from the expected key, bypassing the readers.
    static bool raw_value(const char* name, DWORD* type, std::string* data) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_QUERY_VALUE | view(), &key) != ERROR_SUCCESS)
            return false;
        char buffer[512];
        DWORD bytes = sizeof buffer;
        LONG status = RegQueryValueExA(key, name, nullptr, type, (BYTE*)buffer, &bytes);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) return false;
        data->assign(buffer, bytes);
        return true;
    }
};

TEST_F(SettingsRegistry, StringRoundTripUsesFileStemAndStoresTerminator) {
    ASSERT_TRUE(RegWriteString(kSection, "Name", "some value", kFile));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(raw_value("Name", &type, &data)) << "key path must drop the extension";
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(data, std::string("some value", 11));  // terminator included

    char buffer[64];
    EXPECT_TRUE(RegReadString(kSection, "Name", "dflt", buffer, sizeof buffer, kFile));
    EXPECT_STREQ(buffer, "some value");
}

TEST_F(SettingsRegistry, MissingKeyOrValueGivesDefault) {
    char buffer[64] = "garbage";
    EXPECT_FALSE(RegReadString("NoSuchSection", "Name", "dflt", buffer, sizeof buffer, kFile));
    EXPECT_STREQ(buffer, "dflt");
    EXPECT_EQ(RegReadInt("NoSuchSection", "Count", 77, kFile), 77);
    EXPECT_EQ(RegReadStringAsInt("NoSuchSection", "Count", -17, kFile), -17);

    ASSERT_TRUE(RegWriteInt(kSection, "Other", 1, kFile));
    strcpy(buffer, "garbage");
    EXPECT_FALSE(RegReadString(kSection, "Name", "dflt", buffer, sizeof buffer, kFile));
    EXPECT_STREQ(buffer, "dflt");
    EXPECT_EQ(RegReadInt(kSection, "Count", 5, kFile), 5);
}

TEST_F(SettingsRegistry, IntRoundTripAndTypeCheck) {
    ASSERT_TRUE(RegWriteInt(kSection, "Count", -5, kFile));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(raw_value("Count", &type, &data));
    EXPECT_EQ(type, (DWORD)REG_DWORD);
    EXPECT_EQ(data.size(), 4u);
    EXPECT_EQ(RegReadInt(kSection, "Count", 0, kFile), -5);

    // A string value is not a REG_DWORD: RegReadInt keeps the default.
    ASSERT_TRUE(RegWriteString(kSection, "Text", "12", kFile));
    EXPECT_EQ(RegReadInt(kSection, "Text", 3, kFile), 3);
}

TEST_F(SettingsRegistry, StringAsIntReadsTextOverDefault) {
    EXPECT_EQ(RegReadStringAsInt(kSection, "Sounds", 1, kFile), 1);
    ASSERT_TRUE(RegWriteString(kSection, "Sounds", "42", kFile));
    EXPECT_EQ(RegReadStringAsInt(kSection, "Sounds", 1, kFile), 42);
    ASSERT_TRUE(RegWriteString(kSection, "Sounds", "-8", kFile));
    EXPECT_EQ(RegReadStringAsInt(kSection, "Sounds", 1, kFile), -8);
    ASSERT_TRUE(RegWriteString(kSection, "Sounds", "", kFile));
    EXPECT_EQ(RegReadStringAsInt(kSection, "Sounds", 1, kFile), 0);
}

TEST_F(SettingsRegistry, NullValueDeletes) {
    ASSERT_TRUE(RegWriteString(kSection, "Gone", "here", kFile));
    ASSERT_TRUE(RegWriteString(kSection, "Gone", nullptr, kFile));
    DWORD type;
    std::string data;
    EXPECT_FALSE(raw_value("Gone", &type, &data));
    char buffer[16];
    EXPECT_FALSE(RegReadString(kSection, "Gone", "d", buffer, sizeof buffer, kFile));
    EXPECT_STREQ(buffer, "d");

    ASSERT_TRUE(RegWriteWide(kSection, L"GoneW", L"here", kFile));
    ASSERT_TRUE(RegWriteWide(kSection, L"GoneW", nullptr, kFile));
    wchar_t wide[16];
    EXPECT_FALSE(RegReadWide(kSection, L"GoneW", L"d", wide, 16, kFile));
    EXPECT_STREQ(wide, L"d");
}

TEST_F(SettingsRegistry, WideRoundTripKeepsNonAnsiText) {
    const wchar_t* text = L"\u0416\u4E2D-\u00E9";
    ASSERT_TRUE(RegWriteWide(kSection, L"Wide\u00E9", text, kFile));
    wchar_t buffer[32];
    EXPECT_TRUE(RegReadWide(kSection, L"Wide\u00E9", L"dflt", buffer, 32, kFile));
    EXPECT_STREQ(buffer, text);
    EXPECT_FALSE(RegReadWide(kSection, L"Missing", L"dflt", buffer, 32, kFile));
    EXPECT_STREQ(buffer, L"dflt");
}

std::string ini_path() {
    char path[MAX_PATH];
    settings_file_path(nullptr, path, sizeof path);
    return path;
}

// Restores one INI key to what it held before a test wrote it.
class SavedIniKey {
public:
    SavedIniKey(const char* section, const char* key) : section_(section), key_(key) {
        char buffer[LINE_BUFFER_BYTES];
        existed_ = IniReadString(section, key, "\x01", buffer, sizeof buffer) != 1 || buffer[0] != '\x01';
        value_ = buffer;
    }
    ~SavedIniKey() {
        IniWriteString(section_, key_, existed_ ? value_.c_str() : nullptr);
        // Deleting the last key leaves an empty section header behind.
        char probe[4];
        if (!existed_ && GetPrivateProfileSectionA(section_, probe, sizeof probe, ini_path().c_str()) == 0)
            IniWriteString(section_, nullptr, nullptr);
    }

private:
    const char* section_;
    const char* key_;
    bool existed_;
    std::string value_;
};

TEST_F(EngineTest, SettingsIniRoundTripInSettingsDirectory) {
    char directory[MAX_PATH];
    settings_directory(directory, sizeof directory);
    std::string dir(directory);
    ASSERT_GE(dir.size(), 18u);
    EXPECT_EQ(dir.substr(dir.size() - 18), "\\Tarvolin\\Settings");
    EXPECT_EQ(dir.find("\\\\"), std::string::npos);

    ASSERT_TRUE(IniWriteString("UnitTestSection", "Key", "value 1"));
    char buffer[64];
    EXPECT_EQ(IniReadString("UnitTestSection", "Key", "d", buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "value 1");
    std::string path = dir + "\\ORLUNDEX.INI";
    GetPrivateProfileStringA("UnitTestSection", "Key", "", buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ(buffer, "value 1");

    ASSERT_TRUE(IniWriteString("UnitTestSection", nullptr, nullptr));
    EXPECT_EQ(IniReadString("UnitTestSection", "Key", "d", buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "d");
}

TEST_F(EngineTest, RecordLastErrorWritesIniAndErrorInfo) {
    SavedIniKey saved("KESTR44I", "LastError");
    char buffer[128];

    RecordLastError(st, -7, "Quiet", false);
    IniReadString("KESTR44I", "LastError", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "-7 (Quiet)");
    EXPECT_STREQ(error_info_text(st), "");

    RecordLastError(st, 1234, "Frobnicate", true);
    IniReadString("KESTR44I", "LastError", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "1234 (Frobnicate)");
    EXPECT_STREQ(error_info_text(st), "Frobnicate error:\n\n    1234");
}

}  // namespace
