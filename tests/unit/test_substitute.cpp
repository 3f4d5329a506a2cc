// %name% substitution and the run-time #include rewrite.

#include "engine_fixture.h"

#include <string>
#include "base/error_numbers.h"

namespace {

class Substitute : public EngineTest {
protected:
    char line[LINE_BUFFER_BYTES];

    // Runs the substitution on a copy of text; the line keeps the outcome.
    int run(const std::string& text) {
        st->error = 0;
        lstrcpynA(line, text.c_str(), sizeof line);
        return SubstituteLine(st, line);
    }
    // The error of a text whose substitution fails.
    int fails(const std::string& text) {
        EXPECT_EQ(run(text), 0) << text;
        return st->error;
    }
};

TEST_F(Substitute, UnterminatedReferences) {
    EXPECT_EQ(fails("x = 100%"), E(Err::SubstitutionUnterminated));
    EXPECT_STREQ(line, "x = 100%");
    EXPECT_EQ(fails("%name rest"), E(Err::SubstitutionUnterminated));
    EXPECT_EQ(fails("% x%"), E(Err::SubstitutionUnterminated));
}

TEST_F(Substitute, NameLengthLimit) {
    const std::string thirty(30, 'v');
    EXPECT_EQ(run("%" + thirty + "%"), 2);
    EXPECT_EQ(st->error, 0);
    EXPECT_EQ(fails("%" + thirty + "w%"), E(Err::VariableNameTooLong));
}

TEST_F(Substitute, ResultLimitIs2048Characters) {
    ASSERT_TRUE(set_variable_text(st, "v", std::string(2000, 'x').c_str()));
    EXPECT_EQ(run("%v%" + std::string(48, 'y')), 2);
    EXPECT_EQ(strlen(line), 2048u);
    EXPECT_EQ(fails("%v%" + std::string(49, 'y')), E(Err::SubstitutionTooLong));
    EXPECT_EQ(fails(std::string(49, 'y') + "%v%"), E(Err::SubstitutionTooLong));
    EXPECT_EQ(fails("%v%%v%"), E(Err::SubstitutionTooLong));
    EXPECT_EQ(line[0], '%');
    ASSERT_TRUE(SetVariable(st, "w", VF_UNICODE, std::wstring(2049, L'w').c_str()));
    EXPECT_EQ(fails("%w%"), E(Err::SubstitutionTooLong));
}

TEST_F(Substitute, DoubleByteLeadBytes) {
    ASSERT_TRUE(set_variable_text(st, "v", "V"));
    st->code_page = 1252;
    EXPECT_EQ(run("\x82%v%"), 2);
    EXPECT_STREQ(line, "\x82V");

    if (!IsDBCSLeadByteEx(932, 0x82)) GTEST_SKIP() << "code page 932 not available";
    st->code_page = 932;
    // The lead byte takes the "%" as its trail byte, leaving "v%" unterminated.
    EXPECT_EQ(fails("\x82%v%"), E(Err::SubstitutionUnterminated));
    // A double-byte pair counts as two characters of a name.
    EXPECT_EQ(run("[%" + std::string(28, 'q') + "\x82\xA0%]"), 2);
    EXPECT_STREQ(line, "[]");
    EXPECT_EQ(fails("[%" + std::string(29, 'q') + "\x82\xA0%]"), E(Err::VariableNameTooLong));
}

class RuntimeInclude : public Substitute {
protected:
    char directory[MAX_PATH];
    std::string existing;

    void SetUp() override {
        Substitute::SetUp();
        GetTempPathA(sizeof directory, directory);
        existing = std::string(directory) + "qob_include_probe.tqt";
        ASSERT_TRUE(write_file(existing, ""));
        lstrcpynA(st->script_path, (std::string(directory) + "main.tqt").c_str(), MAX_PATH);
        st->include_flags = INCLUDE_EXPAND | INCLUDE_AT_RUN_TIME;
    }

    void TearDown() override {
        DeleteFileA(existing.c_str());
        Substitute::TearDown();
    }
};

TEST_F(RuntimeInclude, BecomesACallOfTheFile) {
    EXPECT_EQ(run("#include \"qob_include_probe.tqt\"  "), 1);
    EXPECT_EQ(std::string(line), "Call(\"" + existing + "\",``)");
    EXPECT_EQ(run("#INCLUDE\t'missing.tqt'"), 1);
    EXPECT_STREQ(line, "Call(\"missing.tqt\",``)");
    EXPECT_EQ(run("#include C:\\lib\\x.tqt"), 1);
    EXPECT_STREQ(line, "Call(\"C:\\lib\\x.tqt\",``)");
    ASSERT_TRUE(set_variable_text(st, "f", "qob_include_probe.tqt"));
    EXPECT_EQ(run("#include %f%"), 2);
    EXPECT_EQ(std::string(line), "Call(\"" + existing + "\",``)");
}

TEST_F(RuntimeInclude, OnlyWholeIncludeLinesWithTheFlag) {
    EXPECT_EQ(run("#include x"), 1);  // exactly 10 characters
    EXPECT_STREQ(line, "Call(\"x\",``)");
    EXPECT_EQ(run("#include "), 1);
    EXPECT_STREQ(line, "#include ");
    EXPECT_EQ(run("#includex.tqt"), 1);
    EXPECT_STREQ(line, "#includex.tqt");
    st->include_flags = INCLUDE_EXPAND;
    EXPECT_EQ(run("#include x.tqt"), 1);
    EXPECT_STREQ(line, "#include x.tqt");
}

}  // namespace
