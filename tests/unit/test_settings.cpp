// The settings readers the engine uses, against Wine's real registry (a
// writer sets the values up), and the real settings directory.
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
    EXPECT_EQ(RegReadStringAsInt("NoSuchSection", "Count", -17, kFile), -17);

    ASSERT_TRUE(RegWriteString(kSection, "Other", "1", kFile));
    strcpy(buffer, "garbage");
    EXPECT_FALSE(RegReadString(kSection, "Name", "dflt", buffer, sizeof buffer, kFile));
    EXPECT_STREQ(buffer, "dflt");
}

TEST_F(SettingsRegistry, StringAsIntReadsTextOverDefault) {
    EXPECT_EQ(RegReadStringAsInt(kSection, "Sounds", 1, kFile), 1);
    for (const auto& c : {std::make_pair("42", 42), std::make_pair("-8", -8), std::make_pair("", 0)}) {
        ASSERT_TRUE(RegWriteString(kSection, "Sounds", c.first, kFile));
        EXPECT_EQ(RegReadStringAsInt(kSection, "Sounds", 1, kFile), c.second) << c.first;
    }
}

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

}  // namespace
