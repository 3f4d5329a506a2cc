// #include expansion with origin markers, locating lines in text without
// markers, and loading a script file, with real files in a temporary
// directory. The lines of included files and function bodies, as error
// lines name them, run in tests/scripts/runner/*include* and
// tests/scripts/functions/body_error.qob and core/error_handlers.qob.

#include "engine/script_loading.h"
#include "engine_fixture.h"

#include <string>
#include <vector>
#include "base/error_numbers.h"
#include "base/script_buffer.h"
#include "engine/run_loop.h"
#include "lang/evaluator.h"
#include "lang/host_call.h"
#include "lang/pump.h"

namespace {

// A marker line as the loader writes it, the line number given as its four
// bytes.
std::string marker(const char* number, const std::string& name) {
    return std::string(";\x0B" "A@") + number + name + "\n";
}

class IncludeTest : public EngineTest {
protected:
    std::string dir;  // with a trailing backslash
    std::vector<std::string> files;
    char saved_cwd[MAX_PATH] = "";

    void SetUp() override {
        EngineTest::SetUp();
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        dir = std::string(temp) + "qob_include_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(GetTickCount()) + "\\";
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
        GetCurrentDirectoryA(MAX_PATH, saved_cwd);
        write_file("inc.txt", "x = 5\r\ny = 6");
    }

    void TearDown() override {
        SetCurrentDirectoryA(saved_cwd);
        for (const std::string& f : files) DeleteFileA(f.c_str());
        RemoveDirectoryA(dir.c_str());
        EngineTest::TearDown();
    }

    std::string write_file(const std::string& name, const std::string& content) {
        files.push_back(dir + name);
        EXPECT_TRUE(::write_file(files.back(), content));
        return files.back();
    }

    // Runs PrepareScript over text; *out receives the prepared text.
    int32_t prepare(const std::string& text, std::string* out, const std::string& directory = "", int level = 0,
                    const char* file_name = "main.qob") {
        HGLOBAL h = script_block(text.data(), text.size());
        error_name[0] = 0;
        int32_t result = PrepareScript(st, &h, file_name, directory.c_str(), error_name, level);
        const char* p = static_cast<const char*>(GlobalLock(h));
        out->assign(p);
        GlobalUnlock(h);
        GlobalFree(h);
        if (result > 0) {
            EXPECT_EQ(static_cast<size_t>(result), out->size());
        }
        return result;
    }

    char error_name[MAX_PATH];
    std::string out;  // the last prepared text
};

TEST_F(IncludeTest, MarkersAfterDirectiveLines) {
    const std::string text = "a=1\r\n#DefineFunction f()\r\nReturn 1\r\n#EndFunction\r\n  #definesubroutine g()\nb=2";
    ASSERT_GT(prepare(text, &out), 0);
    EXPECT_EQ(out, marker("@@@A", "main.qob") + "a=1 \n#DefineFunction f() \n" + marker("@@@C", "main.qob") +
                       "Return 1 \n#EndFunction \n  #definesubroutine g()\n" + marker("@@@F", "main.qob") + "b=2");

    // Line 71 needs the second number byte; a last line without a line feed
    // gets one before its marker.
    std::string many;
    for (int i = 0; i < 69; ++i) many += "x\n";
    ASSERT_GT(prepare(many + "#DefineFunction h()", &out), 0);
    EXPECT_EQ(out, marker("@@@A", "main.qob") + many + "#DefineFunction h()\n" + marker("@@AG", "main.qob"));

    // Earlier markers are copied but do not count as lines.
    ASSERT_GT(prepare("a\n" + marker("@@@Z", "other") + "#DefineFunction k()\n", &out), 0);
    EXPECT_EQ(out, marker("@@@A", "main.qob") + "a\n" + marker("@@@Z", "other") + "#DefineFunction k()\n" +
                       marker("@@@C", "main.qob"));
}

TEST_F(IncludeTest, AlreadyPreparedTextIsLeftAlone) {
    const std::string prepared = marker("@@@A", "x.qob") + "a\r\nb";
    EXPECT_EQ(prepare(prepared, &out), static_cast<int32_t>(prepared.size()));
    EXPECT_EQ(out, prepared);  // not even its line ends
    const std::string older = " ;\x0C@whatever\r\n";
    EXPECT_EQ(prepare(older, &out), static_cast<int32_t>(older.size()));
    EXPECT_EQ(out, older);
    // 0x0C without "@", or two blanks before: not prepared.
    EXPECT_GT(prepare(";\x0C" "a\n", &out), 4);
    EXPECT_EQ(out.substr(0, 2), ";\x0B");
    EXPECT_GT(prepare("  ;\x0B" "a\n", &out), 6);
    EXPECT_EQ(out.substr(0, 2), ";\x0B");
}

TEST_F(IncludeTest, IncludeFromTheDirectoryArgument) {
    const std::string expected = marker("@@@A", "main.qob") + "a\n" + marker("@@@A", dir + "inc.txt") +
                                 "x = 5 \ny = 6\n" + marker("@@@C", "main.qob") + "b";
    ASSERT_GT(prepare("a\n#include inc.txt\r\nb", &out, dir), 0);
    EXPECT_EQ(out, expected);
    // The directory may come without its backslash; a tab may follow the word.
    ASSERT_GT(prepare("a\n#INCLUDE\tinc.txt\nb", &out, dir.substr(0, dir.size() - 1)), 0);
    EXPECT_EQ(out, expected);
}

TEST_F(IncludeTest, CurrentDirectoryAfterTheDirectoryArgument) {
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    ASSERT_GT(prepare("#include inc.txt\n", &out, "C:\\no such dir\\"), 0);
    EXPECT_EQ(out, marker("@@@A", "main.qob") + marker("@@@A", "inc.txt") + "x = 5 \ny = 6\n" +
                       marker("@@@B", "main.qob"));
}

TEST_F(IncludeTest, AbsoluteAndQuotedNames) {
    write_file("with blank.txt", "w = 1");
    ASSERT_GT(prepare("#include " + dir + "inc.txt\n", &out, "C:\\no such dir\\"), 0);
    EXPECT_NE(out.find(marker("@@@A", dir + "inc.txt") + "x = 5"), std::string::npos);
    for (char quote : {'"', '\'', '`'}) {
        ASSERT_GT(prepare(std::string("#include ") + quote + "with blank.txt" + quote + " ; note\n", &out, dir), 0)
            << quote;
        EXPECT_NE(out.find(marker("@@@A", dir + "with blank.txt") + "w = 1\n"), std::string::npos) << quote;
    }
    // An include file in a function body is expanded like any other.
    ASSERT_GT(prepare("#DefineFunction f()\n#include inc.txt\n#EndFunction\n", &out, dir), 0);
    EXPECT_NE(out.find("x = 5 \ny = 6\n" + marker("@@@C", "main.qob") + "#EndFunction"), std::string::npos);
}

TEST_F(IncludeTest, FilesThatCannotBeIncluded) {
    EXPECT_EQ(prepare("a\n#include \"inc.txt\nb\n", &out, dir), 0);
    EXPECT_STREQ(error_name, "inc.txt");
    EXPECT_EQ(prepare("#include missing.txt \n", &out, dir), 0);
    EXPECT_STREQ(error_name, "missing.txt");
    // A failure deep down names the file that failed.
    write_file("outer.txt", "a\n#include 'deeper.txt'\n");
    EXPECT_EQ(prepare("#include outer.txt\n", &out, dir), 0);
    EXPECT_STREQ(error_name, "deeper.txt");
    // A directory is no file.
    EXPECT_EQ(prepare("#include " + dir.substr(0, dir.size() - 1) + "\n", &out), 0);
}

TEST_F(IncludeTest, NestingLimit) {
    write_file("self.txt", "x = 1\n#include self.txt\n");
    EXPECT_EQ(prepare("#include self.txt\n", &out, dir), -2);
    // Text at level 15 may not include anything; at level 14 it may.
    EXPECT_GT(prepare("#include inc.txt\n", &out, dir, 14), 0);
    EXPECT_EQ(prepare("#include inc.txt\n", &out, dir, 15), -2);
    EXPECT_EQ(prepare("a\n", &out, dir, 16), -2);
}

TEST_F(IncludeTest, LocateWithoutMarkers) {
    lstrcpyA(st->script_path, "C:\\scripts\\plain.qob");
    const std::string text = "a\n\nthird line \nfourth";
    ScriptBuffer buffer = scrambled(text);
    LineLocation where;
    EXPECT_EQ(LocateLine(st, buffer, static_cast<uint32_t>(text.find("third")), NO_FUNCTION, &where), 3);
    EXPECT_STREQ(where.file, "C:\\scripts\\plain.qob");
    EXPECT_STREQ(where.text, "third line ");
    EXPECT_EQ(where.marker_level, -1);
    EXPECT_EQ(LocateLine(st, buffer, static_cast<uint32_t>(text.find("fourth")), NO_FUNCTION, &where), 4);
}

// Call's loader, through the real run loop.
class LoadScriptTest : public IncludeTest {
protected:
    int load(const std::string& path) {
        Value result = int_value();
        st->error = 0;
        int outcome = LoadScriptFile(st, &result, path.c_str());
        release_value(st, &result);
        return outcome;
    }
};

TEST_F(LoadScriptTest, FailuresAreReportedOnce) {
    EXPECT_EQ(load(dir + "absent.qob"), 0);
    EXPECT_EQ(st->last_error, (int32_t)Err::ScriptFileNotFound);
    EXPECT_STREQ(st->offending_line, (dir + "absent.qob").c_str());
    EXPECT_EQ(st->error, TERMINATE_QUIET);

    EXPECT_EQ(load(write_file("encoded.qob", std::string("\x02\0\0\0abc", 7))), 0);
    EXPECT_EQ(st->last_error, (int32_t)Err::EncodedVerificationFailed);

    EXPECT_EQ(load(write_file("broken.qob", "n = 1\n#include nowhere.txt\nn = 2\n")), 0);
    EXPECT_EQ(st->last_error, (int32_t)Err::IncludeFileAccess);
    EXPECT_STREQ(st->offending_line, "nowhere.txt");
    EXPECT_EQ(text_var("n"), "<none>");  // nothing of the script ran

    EXPECT_EQ(load(write_file("badwide.qob", "\xFF\xFE")), 0);
    EXPECT_EQ(st->last_error, (int32_t)Err::UnicodeScriptConvertError);
}

}  // namespace
