// Message lookup (LoadMyString and its language-file override) and the
// silent-mode message box with its log file.
#include "engine_fixture.h"

#include <regex>
#include <string>

#include "base/message_box.h"
#include "base/messages.h"
#include "base/settings.h"

namespace {

TEST_F(EngineTest, LoadMyStringReadsStringTable) {
    char buffer[LINE_BUFFER_BYTES];
    EXPECT_EQ(LoadMyString(st, nullptr, 3051, buffer, sizeof buffer), 30);
    EXPECT_STREQ(buffer, "Undefined variable or function");
    EXPECT_EQ(message_text(st, 111, buffer, sizeof buffer), 15);
    EXPECT_STREQ(buffer, "Execution Error");

    wchar_t wide[64];
    EXPECT_EQ(LoadMyStringW(st, nullptr, 3051, wide, 64), 30);
    EXPECT_STREQ(wide, L"Undefined variable or function");

    // A short buffer keeps size - 1 characters and reports that length.
    EXPECT_EQ(LoadMyString(st, nullptr, 3051, buffer, 10), 9);
    EXPECT_STREQ(buffer, "Undefined");

    // A number without a text gives an empty buffer, not stale content.
    strcpy(buffer, "stale");
    EXPECT_EQ(LoadMyString(st, nullptr, 3058, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

// Writes KORDLANG.tst beside the engine module and selects it through the
// INI's "Language"; everything is put back afterwards.
class LanguageFileTest : public EngineTest {
protected:
    std::string lang_path;
    bool had_language = false;
    char old_language[64] = "";

    void SetUp() override {
        EngineTest::SetUp();
        char module[MAX_PATH];
        GetModuleFileNameA(engine_module(), module, MAX_PATH);
        lang_path = module;
        lang_path = lang_path.substr(0, lang_path.rfind('\\') + 1) + "KORDLANG.tst";
        ASSERT_TRUE(write_file(lang_path, "[MAIN]\r\nX3051=Line one~line two|tabbed\r\nX100=Exactly one hundred\r\n"
                "X99=Version must not change\r\n"));
        had_language = !(IniReadString("MAIN", "Language", "\x01", old_language, sizeof old_language) == 1 &&
                         old_language[0] == '\x01');
        ASSERT_TRUE(IniWriteString("MAIN", "Language", "tst"));
    }

    void TearDown() override {
        DeleteFileA(lang_path.c_str());
        IniWriteString("MAIN", "Language", had_language ? old_language : nullptr);
        char path[MAX_PATH], probe[4];
        settings_file_path(nullptr, path, sizeof path);
        if (!had_language && GetPrivateProfileSectionA("MAIN", probe, sizeof probe, path) == 0)
            IniWriteString("MAIN", nullptr, nullptr);
        char buffer[8];
        LoadMyString(st, nullptr, 0, buffer, sizeof buffer);
        EngineTest::TearDown();
    }

    // Message `number` as LoadMyString gives it (0 drops the cached decision).
    std::string message(int number) {
        char buffer[LINE_BUFFER_BYTES];
        LoadMyString(st, nullptr, number, buffer, sizeof buffer);
        return buffer;
    }
};

TEST_F(LanguageFileTest, OverridesFromHundredUpAndExpandsControlCharacters) {
    char buffer[LINE_BUFFER_BYTES];
    message(0);
    EXPECT_EQ(LoadMyString(st, nullptr, 3051, buffer, sizeof buffer), 24);
    EXPECT_STREQ(buffer, "Line one\nline two\ttabbed");
    wchar_t wide[64];
    EXPECT_EQ(LoadMyStringW(st, nullptr, 3051, wide, 64), 24);
    EXPECT_STREQ(wide, L"Line one\nline two\ttabbed");

    EXPECT_EQ(LoadMyString(st, nullptr, 100, buffer, sizeof buffer), 19);
    EXPECT_STREQ(buffer, "Exactly one hundred");
    EXPECT_EQ(message(99), "1.0.0");
    EXPECT_EQ(message(111), "Execution Error") << "a key the file lacks falls back to the string table";
}

TEST_F(LanguageFileTest, DecisionIsCachedUntilNumberZero) {
    message(0);
    ASSERT_TRUE(IniWriteString("MAIN", "Language", "XXX"));
    EXPECT_EQ(message(3051), "Line one\nline two\ttabbed") << "re-read without number 0";
    // "XXX" means unset: the Windows profile or "enu" decides, not "tst".
    message(0);
    EXPECT_EQ(message(3051), "Undefined variable or function");
}

std::string today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    snprintf(text, sizeof text, "%02d/%02d/%02d", now.wMonth, now.wDay, now.wYear % 100);
    return text;
}

class SilentLogTest : public EngineTest {
protected:
    std::string log_path;
    void SetUp() override {
        EngineTest::SetUp();
        log_path = temp_path("qlg");
    }
    void TearDown() override {
        DeleteFileA(log_path.c_str());
        EngineTest::TearDown();
    }
};

TEST_F(SilentLogTest, StoresTextsWithoutLogFile) {
    st->log_file[0] = '\0';
    EXPECT_EQ(MessageOrLog(st, nullptr, "Body", "Caption", MB_OK), IDCANCEL);
    EXPECT_STREQ(st->silent_text, "Body");
    EXPECT_STREQ(st->silent_caption, "Caption");
    EXPECT_EQ(GetFileAttributesA(log_path.c_str()), INVALID_FILE_ATTRIBUTES);

    std::string longer(3000, 'x');
    MessageOrLog(st, nullptr, longer.c_str(), longer.c_str(), MB_OK);
    EXPECT_EQ(strlen(st->silent_text), LINE_MAX_CHARS);
    EXPECT_EQ(strlen(st->silent_caption), LINE_MAX_CHARS);
}

TEST_F(SilentLogTest, AppendsHeaderCaptionAndText) {
    lstrcpynA(st->log_file, log_path.c_str(), MAX_PATH);
    std::string before = today();
    EXPECT_EQ(MessageOrLog(st, nullptr, "First text", "First caption", MB_ICONHAND), IDCANCEL);

    HWND host = CreateWindowA("STATIC", "Host Title", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    st->host_window = host;
    EXPECT_EQ(MessageOrLog(st, nullptr, "Second\r\ntext", "Second caption", MB_OK), IDCANCEL);
    st->host_window = nullptr;
    DestroyWindow(host);
    std::string after = today();

    std::string log = read_file(log_path);
    const std::regex layout(
        "(\\d\\d/\\d\\d/\\d\\d)  \\d\\d:\\d\\d:\\d\\d  \r\n\r\nFirst caption\r\n\r\nFirst text"
        "\\d\\d/\\d\\d/\\d\\d  \\d\\d:\\d\\d:\\d\\d  Host Title\r\n\r\nSecond caption\r\n\r\nSecond\r\ntext");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(log, match, layout)) << log;
    EXPECT_TRUE(match[1] == before || match[1] == after) << match[1];
}

}  // namespace
