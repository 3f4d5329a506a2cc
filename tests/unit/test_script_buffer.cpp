// The line reader and scrambling, line-end normalisation, UTF-16 conversion
// and UncompressBuffer.

#include "engine/script_loading.h"
#include "engine_fixture.h"

#include <string>
#include <vector>
#include <zlib.h>
#include "base/error_numbers.h"
#include "base/script_buffer.h"

namespace {

class ScriptBufferTest : public EngineTest {
protected:
    // A buffer holding text scrambled as the loader leaves it; a non-zero
    // base scrambles as a copied function body is.
    ScriptBuffer make_buffer(const std::string& text, uint32_t base = 0, uint32_t slack = 0) {
        ScriptBuffer buffer = scrambled(text, slack);
        if (base == 0) return buffer;
        buffer.base = base;
        write_script_bytes(st, buffer, 0, reinterpret_cast<const uint8_t*>(text.c_str()), buffer.length + 1);
        return buffer;
    }

    struct Line {
        std::string text;
        uint32_t start;
        uint16_t pending;
    };

    std::vector<Line> read_all(const ScriptBuffer& buffer, size_t capacity = LINE_BUFFER_BYTES) {
        std::vector<Line> lines;
        std::vector<char> line(capacity + 8, '\x7F');
        uint32_t position = 0, start = 0;
        while (ReadLine(st, line.data(), capacity, buffer, &start, &position) == 1) {
            lines.push_back({line.data(), start, st->pending_line_error});
            if (lines.size() > 100) break;
        }
        EXPECT_EQ(position, buffer.length);
        return lines;
    }

    std::vector<std::string> texts(const ScriptBuffer& buffer) {
        std::vector<std::string> out;
        for (const Line& l : read_all(buffer)) out.push_back(l.text);
        return out;
    }
};

using Lines = std::vector<std::string>;

TEST_F(ScriptBufferTest, LineEndsAndBlanks) {
    EXPECT_EQ(texts(make_buffer("a = 1\nb = 2")), (Lines{"a = 1", "b = 2"}));
    EXPECT_EQ(texts(make_buffer("a\n\n\t \nb\n")), (Lines{"a", "", "", "b"}));
    // Blanks after the last line feed are no line.
    EXPECT_EQ(texts(make_buffer("a\n  \t")), (Lines{"a"}));
    EXPECT_TRUE(texts(make_buffer("")).empty());
    // A CR LF line keeps its trailing blank below the limit.
    EXPECT_EQ(texts(make_buffer("x \ny")), (Lines{"x ", "y"}));
}

TEST_F(ScriptBufferTest, LineStartIsFirstNonBlank) {
    std::vector<Line> lines = read_all(make_buffer("ab\n \t cd\n"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].start, 0u);
    EXPECT_EQ(lines[1].start, 6u);
    EXPECT_EQ(lines[1].text, "cd");
}

TEST_F(ScriptBufferTest, CtrlZEndsALine) {
    EXPECT_EQ(texts(make_buffer("abc\x1A" "def\nghi")), (Lines{"abc", "def", "ghi"}));
    EXPECT_EQ(texts(make_buffer("abc\x1A")), (Lines{"abc"}));
}

TEST_F(ScriptBufferTest, ZeroInsideTheTextIsAnEmptyLine) {
    std::string text("ab\0cd", 5);
    EXPECT_EQ(texts(make_buffer(text)), (Lines{"ab", "", "cd"}));
}

TEST_F(ScriptBufferTest, LineLengthLimit) {
    const std::string full(LINE_MAX_CHARS, 'q');
    // 2048 characters and the blank that CR LF left: accepted whole.
    std::vector<Line> lines = read_all(make_buffer(full + " \nnext"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, full);
    EXPECT_EQ(lines[0].pending, 0);
    EXPECT_EQ(lines[1].text, "next");

    lines = read_all(make_buffer(full + "\nnext"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pending, 0);

    // 2049 characters: cut at 2048, the rest of the physical line unread.
    lines = read_all(make_buffer(full + "Z \nnext"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, full);
    EXPECT_EQ(lines[0].pending, (uint16_t)Err::LineTooLong);
    EXPECT_EQ(lines[1].text, "next");
    EXPECT_EQ(lines[1].pending, 0);

    // A blank at the limit not followed by the line feed is a character.
    lines = read_all(make_buffer(full + " x\x1Anext"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pending, (uint16_t)Err::LineTooLong);
    EXPECT_EQ(lines[1].text, "next");
    EXPECT_EQ(st->error, 0);  // pending only, never raised by the reader
}

TEST_F(ScriptBufferTest, ScrambledWithBaseRoundTrip) {
    const std::string text = "x = StrSub(\"abc\", 2, 1)\nReturn x";
    const uint32_t base = 1000;
    ScriptBuffer body = make_buffer(text, base);
    EXPECT_EQ(texts(body), (Lines{"x = StrSub(\"abc\", 2, 1)", "Return x"}));

    // The text never lies in plain form, and the base takes part.
    auto* stored = static_cast<const char*>(GlobalLock(body.handle));
    EXPECT_NE(std::string(stored, text.size()), text);
    GlobalUnlock(body.handle);
    ScriptBuffer wrong_base = body;
    wrong_base.base = 0;
    std::vector<Line> lines = read_all(wrong_base);
    EXPECT_TRUE(lines.empty() || lines[0].text != "x = StrSub(\"abc\", 2, 1)");
}

TEST_F(ScriptBufferTest, WriteScriptBytesOverwritesInPlace) {
    for (uint32_t base : {0u, 77u}) {
        ScriptBuffer buffer = make_buffer("GoSub label\nnext", base, 4);
        const uint8_t cache[] = {'J', 'U', 'M', 'P'};
        write_script_bytes(st, buffer, 6, cache, sizeof cache);
        EXPECT_EQ(texts(buffer), (Lines{"GoSub JUMPl", "next"})) << "base " << base;
        // Writes reach the terminator at most; the slack behind it stays zero.
        write_script_bytes(st, buffer, buffer.length - 1, cache, sizeof cache);
        EXPECT_EQ(texts(buffer), (Lines{"GoSub JUMPl", "nexJ"})) << "base " << base;
        auto* raw = static_cast<const uint8_t*>(GlobalLock(buffer.handle));
        EXPECT_EQ(unscramble_byte(raw[buffer.length], buffer.length + base), 'U');
        for (uint32_t i = 1; i <= 4; ++i) EXPECT_EQ(raw[buffer.length + i], 0) << i;
        GlobalUnlock(buffer.handle);
    }
}

TEST(ScriptText, NormaliseLineEnds) {
    char text[] = "a\r\nb\rc\n\r\r\nd\r";
    NormaliseLineEnds(text);
    EXPECT_STREQ(text, "a \nb\nc\n\n \nd\n");
    char plain[] = "no ends";
    NormaliseLineEnds(plain);
    EXPECT_STREQ(plain, "no ends");
}

class UnicodeScript : public EngineTest {
protected:
    // The bytes of a UTF-16 text in either order, with its mark, and two
    // zero bytes after it.
    static std::vector<uint8_t> utf16(const std::wstring& text, bool big_endian, bool mark = true) {
        const std::string bytes = utf16_bytes(text, big_endian, mark) + std::string(2, '\0');
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    uint32_t convert(std::vector<uint8_t>& bytes) {
        return ConvertUnicodeScript(st, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
};

TEST_F(UnicodeScript, BothByteOrders) {
    for (bool big_endian : {false, true}) {
        std::vector<uint8_t> bytes = utf16(L"x = 1\r\nMessage(\"A\", x)", big_endian);
        EXPECT_TRUE(starts_with_utf16_mark(bytes.data(), static_cast<uint32_t>(bytes.size())));
        ASSERT_EQ(convert(bytes), 22u) << "big endian " << big_endian;
        EXPECT_STREQ(reinterpret_cast<char*>(bytes.data()), "x = 1\r\nMessage(\"A\", x)");
    }
    std::vector<uint8_t> no_mark = utf16(L"y=2", false, false);
    EXPECT_EQ(convert(no_mark), 3u);
    EXPECT_STREQ(reinterpret_cast<char*>(no_mark.data()), "y=2");
}

TEST_F(UnicodeScript, RefusedWhenEmptyOrTooLarge) {
    std::vector<uint8_t> empty = utf16(L"", false);
    EXPECT_EQ(convert(empty), 0u);

    // Under UTF-8 each of these characters takes 3 bytes for its 2: three
    // still fit the block (9 bytes and a terminator in 10), four do not.
    st->code_page = CP_UTF8;
    std::vector<uint8_t> three = utf16(L"\x4E2D\x6587\x5B57", false);
    EXPECT_EQ(convert(three), 9u);
    std::vector<uint8_t> four = utf16(L"\x4E2D\x6587\x5B57\x5B57", false);
    const std::vector<uint8_t> before = four;
    EXPECT_EQ(convert(four), 0u);
    EXPECT_EQ(four, before);  // a refused text is left as it was
}

TEST(UncompressBufferTest, RoundTripAndRefusals) {
    std::string plain;
    for (int i = 0; i < 200; ++i) plain += "line " + std::to_string(i) + "\n";
    uLongf packed_length = compressBound(static_cast<uLong>(plain.size()));
    std::vector<uint8_t> packed(packed_length);
    ASSERT_EQ(compress(packed.data(), &packed_length, reinterpret_cast<const Bytef*>(plain.data()),
                       static_cast<uLong>(plain.size())), Z_OK);
    const uint32_t capacity = static_cast<uint32_t>(plain.size()), packed_size = static_cast<uint32_t>(packed_length);

    auto fresh = [&]() {
        std::vector<uint8_t> buffer(capacity + 1, 0xAB);
        memcpy(buffer.data(), packed.data(), packed_length);
        return buffer;
    };
    std::vector<uint8_t> buffer = fresh();
    ASSERT_EQ(UncompressBuffer(buffer.data(), packed_size, capacity), static_cast<int>(plain.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), plain.size()), plain);
    EXPECT_EQ(buffer[plain.size()], 0);

    buffer = fresh();
    EXPECT_EQ(UncompressBuffer(nullptr, packed_size, capacity), -1);
    EXPECT_EQ(UncompressBuffer(buffer.data(), 0, capacity), -1);
    EXPECT_EQ(UncompressBuffer(buffer.data(), packed_size, 0), -1);
    // One byte short of the inflated size.
    EXPECT_EQ(UncompressBuffer(buffer.data(), packed_size, capacity - 1), -1);
    // A truncated stream.
    EXPECT_EQ(UncompressBuffer(buffer.data(), packed_size / 2, capacity), -1);
    buffer[0] = 0;
    EXPECT_EQ(UncompressBuffer(buffer.data(), packed_size, capacity), -1);
    buffer = fresh();
    buffer[5] ^= 0x55;  // corrupt data
    EXPECT_EQ(UncompressBuffer(buffer.data(), packed_size, capacity), -1);
}

}  // namespace
