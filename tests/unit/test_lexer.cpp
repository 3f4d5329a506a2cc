// Lexer internals: number forms and their errors, the literal limit, slots
// made for names, the address-of prefix, putback, raw words and the
// dereference scratch slot. Persistent names are decorated as
// tests/scripts/functions/persistent.qob shows.
#include <string>
#include <vector>
#include "engine_fixture.h"
#include "lang/keyword_table.h"
#include "lang/lexer.h"

namespace {

struct Tok {
    int kind;
    std::string text;
};

class LexerTest : public EngineTest {
protected:
    std::string line;

    // Reads every token of `text` up to the end of the line (or an error).
    std::vector<Tok> lex(const std::string& text) {
        line = text;
        lexer_start(st, line.c_str());
        std::vector<Tok> out;
        for (int guard = 0; guard < 100; ++guard) {
            get_token(st);
            if (st->error || st->lexer.kind == TK_END) break;
            out.push_back({st->lexer.kind, st->lexer.text});
        }
        return out;
    }
    // Starts reading `text` and reads its first token, as a word or raw.
    void first(const std::string& text, bool raw = false) {
        line = text;
        lexer_start(st, line.c_str());
        raw ? get_string_token(st) : get_token(st);
    }
};

TEST_F(LexerTest, NumbersAndTheirErrors) {
    struct Case { const char* text; int kind; const char* token; int error; } cases[] = {
        {"1.5e+3", TK_FLOAT, "1.5e+3", 0}, {".5", TK_FLOAT, ".5", 0},   {"5.", TK_FLOAT, "5.", 0},
        {"42", TK_INT, "42", 0},           {"1E-2", TK_FLOAT, "1E-2", 0}, {"12abc", TK_INT, "12", 0},
        {"1.5e", TK_END, "", 3054},         {"1..2", TK_END, "", 3338},    {"1e2e3", TK_END, "", 3339},
        {"1e+", TK_END, "", 3054},          {". 5", TK_END, "", 3054},
    };
    for (const Case& c : cases) {
        st->error = 0;
        first(c.text);
        EXPECT_EQ(st->error, c.error) << c.text;
        EXPECT_EQ(st->lexer.kind, c.kind) << c.text;
        if (!c.error) {
            EXPECT_STREQ(st->lexer.text, c.token) << c.text;
        }
    }
    // A sign is never part of the number.
    st->error = 0;
    auto t = lex("-3");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].text, "-");
}

TEST_F(LexerTest, LongLiteralStopsAt2049Characters) {
    std::string body(2060, 'x');
    first("\"" + body + "\"");
    EXPECT_EQ(st->lexer.text_length, 2049);
    get_token(st);  // the rest of the line is read as further tokens
    EXPECT_EQ(st->lexer.kind, TK_NAME);
    EXPECT_EQ(st->lexer.text_length, 11);
    get_token(st);  // and its closing quote opens an empty literal
    EXPECT_EQ(st->lexer.kind, TK_STRING);
    EXPECT_EQ(st->error, 0);
}

TEST_F(LexerTest, NamesAreLowerCasedAndGetSlots) {
    uint16_t used = st->table.used;
    first("MyVar");
    EXPECT_EQ(st->lexer.kind, TK_NAME);
    EXPECT_STREQ(st->lexer.text, "myvar");
    uint16_t slot = st->lexer.slot;
    ASSERT_NE(slot, NO_SLOT);
    EXPECT_EQ(st->table.used, used + 1);
    EXPECT_EQ(st->table.slots[slot].v.flags, (uint32_t)VF_UNINITIALIZED);
    EXPECT_EQ(st->table.slots[slot].v.integer, -1);
    first("MYVAR");
    EXPECT_EQ(st->lexer.slot, slot);  // found again, not created
    EXPECT_EQ(st->table.used, used + 1);
}

TEST_F(LexerTest, AddressOfPrefixCreatesAnIntegerSlot) {
    auto t = lex("x = &y");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[2].text, "&");
    EXPECT_EQ(st->table.slots[st->lexer.slot].v.flags, (uint32_t)VF_INT);
    // "&&" is the logical operator; "a & b" after a name is the bitwise and.
    auto logical = lex("a && b");
    ASSERT_EQ(logical.size(), 3u);
    EXPECT_EQ(logical[1].text, "&&");
    lex("p & q");
    EXPECT_EQ(st->table.slots[st->lexer.slot].v.flags, (uint32_t)VF_UNINITIALIZED);
    // After ")" or a constant "&" is not a prefix either.
    lex("(1) & r");
    EXPECT_EQ(st->table.slots[st->lexer.slot].v.flags, (uint32_t)VF_UNINITIALIZED);
    lex("@true & s");
    EXPECT_EQ(st->table.slots[st->lexer.slot].v.flags, (uint32_t)VF_UNINITIALIZED);
}

TEST_F(LexerTest, PutbackRereadsTheSameToken) {
    lex("");
    line = "alpha <= 'lit' 3.5";
    lexer_start(st, line.c_str());
    for (int i = 0; i < 4; ++i) {
        get_token(st);
        std::string text = st->lexer.text;
        int kind = st->lexer.kind;
        putback(st);
        get_token(st);
        EXPECT_EQ(st->lexer.text, text);
        EXPECT_EQ(st->lexer.kind, kind);
    }
}

TEST_F(LexerTest, RawWordsKeepTheirCase) {
    first("  MyLabel rest", true);
    EXPECT_EQ(st->lexer.kind, TK_STRING);
    EXPECT_EQ(st->lexer.id, RAW_WORD_ID);
    EXPECT_STREQ(st->lexer.text, "MyLabel");
    first("; only a comment", true);
    EXPECT_EQ(st->lexer.kind, TK_END);
    EXPECT_EQ(st->error, 0);
    first("!bang", true);
    EXPECT_EQ(st->error, 3054);
}

TEST_F(LexerTest, DereferenceFlagUsesTheScratchSlot) {
    uint16_t used = st->table.used;
    line = "target";
    lexer_start(st, line.c_str());
    st->lexer.dereference = 1;
    get_token(st);
    EXPECT_EQ(st->lexer.slot, 0);
    EXPECT_EQ(st->table.used, used);  // nothing created
    EXPECT_EQ((uint8_t)st->table.slots[0].name[0], (uint8_t)('t' | 0x80));
    EXPECT_STREQ(st->table.slots[0].name + 1, "arget");
    EXPECT_EQ(st->lexer.dereference, 0);  // consumed
    EXPECT_EQ(FindSlot(st, "target"), NO_SLOT);
}

}  // namespace
