// The array built-in functions through the evaluator: ArrInfo, ArrInitialize,
// Arrayize, ArraySwapElements, and the array file functions on real
// temporary files, with the CSV quoting rules and their edge cases.
#include "array_fixture.h"

#include <oleauto.h>
#include <vector>
#include "lib/dispatch.h"

namespace {

constexpr int E(Err e) { return static_cast<int>(e); }

class ArrayFunctions : public ArrayLines {
protected:
    std::string directory;
    std::vector<std::string> files;

    void SetUp() override {
        ArrayLines::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        directory = std::string(temp) + "qob_arrays_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(directory.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::string& f : files) DeleteFileA(f.c_str());
        RemoveDirectoryA(directory.c_str());
        ArrayLines::TearDown();
    }

    // A file of exactly these bytes; its path is also the script variable `name`.
    std::string MakeFile(const char* name, const std::string& bytes) {
        std::string path = PathOf(name);
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(f, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
        return path;
    }
    std::string PathOf(const char* name) {
        std::string path = directory + "\\" + name + ".txt";
        files.push_back(path);
        EXPECT_TRUE(set_variable_text(st, name, path.c_str()));
        return path;
    }
    std::string Contents(const std::string& path) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return "<missing>";
        std::string bytes(GetFileSize(f, nullptr), '\0');
        DWORD got = 0;
        if (!bytes.empty()) ReadFile(f, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(f);
        return bytes;
    }
    // Element i of the array in variable `name`: its text, or a marker.
    std::string At(const char* name, uint32_t i) {
        const ArrayHeader* a = ArrayOf(name);
        if (!a || i >= a->element_count) return "<outside>";
        const ValuePayload& v = a->elements[i].v;
        if (v.flags == VF_UNDEFINED) return "<undefined>";
        const char* text = value_text(st, v);
        return text ? text : "<not text>";
    }
    std::vector<uint32_t> Sizes(const char* name) {
        const ArrayHeader* a = ArrayOf(name);
        return a ? std::vector<uint32_t>(a->sizes, a->sizes + a->dimensions) : std::vector<uint32_t>{99};
    }
};

using Dims = std::vector<uint32_t>;

// ------------------------------------------------------------------ ArrInfo

TEST_F(ArrayFunctions, ArrInfoAnswers) {
    Run("a = ArrDimension(2, 3)");
    EXPECT_EQ(Int("ArrInfo(a, -1)"), 1);
    EXPECT_EQ(Int("ArrInfo(a, 0)"), 2);
    EXPECT_EQ(Int("ArrInfo(a, 1)"), 2);
    EXPECT_EQ(Int("ArrInfo(a, 2)"), 3);
    EXPECT_EQ(Int("ArrInfo(a, 3)"), 0);
    EXPECT_EQ(Int("ArrInfo(a, 5)"), 0);
    EXPECT_EQ(Int("ArrInfo(a, 6)"), 6);
    EXPECT_EQ(Error("n = ArrInfo(a, 7)"), E(Err::ArrInfoBadRequest));
    EXPECT_EQ(Error("n = ArrInfo(a, -2)"), E(Err::ArrInfoBadRequest));
    EXPECT_EQ(Int("ArrInfo(5, -1)"), 0);
    EXPECT_EQ(Int("ArrInfo('text', -1)"), 0);
    EXPECT_EQ(Error("n = ArrInfo(5, 0)"), E(Err::ArrayParamNotArray));
    EXPECT_EQ(Error("n = ArrInfo(5, 7)"), E(Err::ArrayParamNotArray));
}

TEST_F(ArrayFunctions, ArrInfoOfAVariantArray) {
    // Engine dimension 1 is the SAFEARRAY's last dimension.
    SAFEARRAYBOUND bounds[2] = {{4, 0}, {2, 1}};
    SAFEARRAY* sa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(sa, nullptr);
    ASSERT_TRUE(set_variable_int(st, "va", 0));
    VariableSlot& va = Slot("va");
    va.v.flags = VF_VARIANT;
    va.v.variant.vt = VT_ARRAY | VT_I4;
    va.v.variant.parray = sa;
    EXPECT_EQ(Int("ArrInfo(va, -1)"), 1);
    EXPECT_EQ(Int("ArrInfo(va, 0)"), 2);
    EXPECT_EQ(Int("ArrInfo(va, 1)"), 2);
    EXPECT_EQ(Int("ArrInfo(va, 2)"), 4);
    EXPECT_EQ(Int("ArrInfo(va, 3)"), 0);
    EXPECT_EQ(Int("ArrInfo(va, 6)"), 8);
    EXPECT_EQ(Error("n = ArrInfo(va, 9)"), E(Err::ArrInfoBadRequest));
    Run("Drop(va)");
}

// ------------------------------------------------------------------ ArrInitialize

TEST_F(ArrayFunctions, ArrInitializeFillsByKind) {
    const HeapStats before = heap_stats(st);
    Run("a = ArrDimension(2, 2)");
    Run("a[0, 1] = 'old'");
    EXPECT_EQ(Int("ArrInitialize(a, 'x')"), 1);
    const ArrayHeader* a = ArrayOf("a");
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(a->elements[i].v.flags, (uint32_t)VF_STRING) << i;
        EXPECT_EQ(At("a", i), "x") << i;
        for (uint32_t j = 0; j < i; ++j) EXPECT_NE(a->elements[i].v.handle, a->elements[j].v.handle);
    }
    // The texts are released when integers replace them.
    Run("ArrInitialize(a, 12)");
    EXPECT_EQ(a->elements[3].v.flags, (uint32_t)VF_INT);
    EXPECT_EQ(a->elements[3].v.integer, 12);
    Run("ArrInitialize(a, 2.5)");
    EXPECT_EQ(a->elements[0].v.flags, (uint32_t)VF_FLOAT);
    EXPECT_DOUBLE_EQ(a->elements[0].v.real, 2.5);
    // An integer that also holds its text still fills integers.
    ASSERT_TRUE(set_variable_text(st, "both", "4"));
    Slot("both").v.integer = 4;
    Slot("both").v.flags |= VF_INT;
    Run("ArrInitialize(a, both)");
    EXPECT_EQ(a->elements[2].v.flags, (uint32_t)VF_INT);
    EXPECT_EQ(a->elements[2].v.integer, 4);
    Run("Drop(a, both)");
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
}

TEST_F(ArrayFunctions, ArrInitializeErrors) {
    Run("a = ArrDimension(2)");
    ASSERT_TRUE(set_variable_int(st, "handle", 3));
    Slot("handle").v.flags = VF_FILE;
    EXPECT_EQ(Error("ArrInitialize(a, handle)"), E(Err::ArrInitializeBadValue));
    Slot("handle").v.flags = VF_INT;
    ASSERT_TRUE(SetVariable(st, "wide", VF_UNICODE, L"w"));
    EXPECT_EQ(Error("ArrInitialize(a, wide)"), E(Err::ArrInitializeBadValue));
    EXPECT_EQ(Error("ArrInitialize(a, a)"), E(Err::ArrInitializeBadValue));
    EXPECT_EQ(ArrayOf("a")->elements[0].v.flags, 0u);
    Run("z = ArrDimension(0)");
    EXPECT_EQ(Error("ArrInitialize(z, 1)"), E(Err::ArrayEmpty));
    EXPECT_EQ(Error("ArrInitialize(5, 1)"), E(Err::NotAnArray));
}

// Stands in for the COM layer: a one-dimensional SAFEARRAY becomes an
// engine array of as many elements; the VARIANT stays the variable's.
bool vector_from_safearray(EngineState* st, ValuePayload* v) {
    LONG low = 0, high = -1;
    SafeArrayGetLBound(v->variant.parray, 1, &low);
    SafeArrayGetUBound(v->variant.parray, 1, &high);
    Value made;
    init_value(&made);
    if (CreateMyArray(st, &made, high - low + 1, 0, 0, 0, 0, 0, 1) < 0) return false;
    v->flags = VF_ARRAY;
    v->handle = made.v.handle;
    return true;
}

TEST_F(ArrayFunctions, ConvertedVariantArrayIsStoredBack) {
    const auto saved = g_dispatch_hooks.safearray_to_array;
    g_dispatch_hooks.safearray_to_array = vector_from_safearray;
    ASSERT_TRUE(set_variable_int(st, "va", 0));
    VariableSlot& va = Slot("va");
    va.v.flags = VF_VARIANT;
    va.v.variant.vt = VT_ARRAY | VT_I4;
    va.v.variant.parray = SafeArrayCreateVector(VT_I4, 0, 3);  // the variable's to release
    EXPECT_EQ(Int("ArrInitialize(va, 9)"), 1);
    release_value(st, &result);
    g_dispatch_hooks.safearray_to_array = saved;
    ASSERT_EQ(Slot("va").v.flags, (uint32_t)VF_ARRAY);
    EXPECT_EQ(Shares("va"), 1u);
    EXPECT_EQ(Int("va[2]"), 9);
    HGLOBAL block = BlockOf("va");
    Run("Drop(va)");
    EXPECT_TRUE(Freed(block));
}

// ------------------------------------------------------------------ Arrayize

TEST_F(ArrayFunctions, ArrayizeSplitsItems) {
    Run("a = Arrayize('a,b,,c', ',')");
    EXPECT_EQ(Sizes("a"), Dims({4}));
    EXPECT_EQ(At("a", 0), "a");
    EXPECT_EQ(At("a", 2), "");
    EXPECT_EQ(At("a", 3), "c");
    Run("a = Arrayize('x,', ',')");
    EXPECT_EQ(Sizes("a"), Dims({2}));
    EXPECT_EQ(At("a", 1), "");
    Run("a = Arrayize(',', ',')");
    EXPECT_EQ(Sizes("a"), Dims({2}));
    Run("a = Arrayize('single', '|')");
    EXPECT_EQ(Sizes("a"), Dims({1}));
    EXPECT_EQ(At("a", 0), "single");
    Run("a = Arrayize('', ',')");
    EXPECT_EQ(Sizes("a"), Dims({}));
    EXPECT_EQ(Int("ArrInfo(a, 6)"), 0);
    // An empty delimiter is the tab.
    ASSERT_TRUE(set_variable_text(st, "tabbed", "p\tq r\t"));
    Run("a = Arrayize(tabbed, '')");
    EXPECT_EQ(Sizes("a"), Dims({3}));
    EXPECT_EQ(At("a", 1), "q r");
    Run("a = Arrayize(12345, 3)");
    EXPECT_EQ(At("a", 0), "12");
    EXPECT_EQ(At("a", 1), "45");
    EXPECT_EQ(Error("a = Arrayize('a,b', ',,')"), E(Err::DelimiterNotSingleChar));
}

// ------------------------------------------------------------------ ArraySwapElements

TEST_F(ArrayFunctions, SwapMovesRecordsAsTheyAre) {
    Run("a = ArrDimension(2, 3)");
    Run("a[0, 1] = 'p'");
    Run("a[1, 2] = 5");
    const uintptr_t text_block = ArrayOf("a")->elements[1].v.handle;
    const HeapStats before = heap_stats(st);
    EXPECT_EQ(Int("ArraySwapElements(a, 0, 1, 0, 0, 0, 1, 2, 0, 0, 0)"), 1);
    EXPECT_EQ(Int("a[0, 1]"), 5);
    EXPECT_EQ(Text("a[1, 2]"), "p");
    release_value(st, &result);
    EXPECT_EQ(ArrayOf("a")->elements[5].v.handle, text_block);  // moved, not copied
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);
    // Extra subscripts are ignored, and each subscript is not checked
    // against its own dimension: [0, 4] is element 4, that is [1, 1].
    Run("ArraySwapElements(a, 1, 2, 7, 7, 7, 0, 4, -9, 0, 0)");
    EXPECT_EQ(At("a", 4), "p");
    EXPECT_EQ(ArrayOf("a")->elements[5].v.flags, 0u);
    EXPECT_EQ(Error("ArraySwapElements(a, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0)"), E(Err::ArraySubscriptOutOfBounds));
    EXPECT_EQ(Error("ArraySwapElements(a, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0)"), E(Err::ArraySubscriptOutOfBounds));
    Run("z = ArrDimension(0)");
    EXPECT_EQ(Error("ArraySwapElements(z, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)"), E(Err::ArrayEmpty));
}

// ------------------------------------------------------------------ ArrayFileGet

TEST_F(ArrayFunctions, FileGetReadsLines) {
    MakeFile("f", "one\r\ntwo\n\nthr\ree");
    Run("a = ArrayFileGet(f)");
    EXPECT_EQ(Sizes("a"), Dims({4}));
    EXPECT_EQ(At("a", 0), "one");
    EXPECT_EQ(At("a", 1), "two");
    EXPECT_EQ(At("a", 2), "");
    EXPECT_EQ(At("a", 3), "three");
    MakeFile("f", "x\n");
    Run("a = ArrayFileGet(f)");
    EXPECT_EQ(Sizes("a"), Dims({1}));
    MakeFile("f", "\r\n");
    Run("a = ArrayFileGet(f)");
    EXPECT_EQ(Sizes("a"), Dims({1}));
    EXPECT_EQ(At("a", 0), "");
}

TEST_F(ArrayFunctions, FileGetNullCharAndExtra) {
    MakeFile("f", std::string("a\0b\nc", 5));
    Run("a = ArrayFileGet(f)");
    EXPECT_EQ(At("a", 0), "ab");
    Run("a = ArrayFileGet(f, '_', 2)");
    EXPECT_EQ(Sizes("a"), Dims({4}));
    EXPECT_EQ(At("a", 0), "a_b");
    EXPECT_EQ(At("a", 1), "c");
    EXPECT_EQ(At("a", 2), "<undefined>");
    EXPECT_EQ(Error("x = a[3]"), E(Err::ArrayElementUninitialized));
    Run("a = ArrayFileGet(f, '', -5)");
    EXPECT_EQ(Sizes("a"), Dims({2}));
    EXPECT_EQ(Error("a = ArrayFileGet(f, '__')"), E(Err::BadNullChar));

    MakeFile("empty", "");
    Run("a = ArrayFileGet(empty)");
    EXPECT_EQ(Sizes("a"), Dims({}));
    Run("a = ArrayFileGet(empty, '', 3)");
    EXPECT_EQ(Sizes("a"), Dims({3}));
    PathOf("missing");
    EXPECT_EQ(Error("a = ArrayFileGet(missing)"), E(Err::FileOpenError));
}

TEST_F(ArrayFunctions, FileGetLinesAcrossReadChunks) {
    // A line longer than the 64 KB read chunk, and a line feed right after
    // a carriage return at the chunk's end.
    std::string big(100000, 'z');
    std::string bytes = big + "\n" + std::string(65536 - 100001 % 65536 - 1, 'y') + "\r\nlast";
    MakeFile("f", bytes);
    Run("a = ArrayFileGet(f)");
    EXPECT_EQ(Sizes("a"), Dims({3}));
    EXPECT_EQ(At("a", 0), big);
    EXPECT_EQ(At("a", 1).size(), size_t{65536 - 100001 % 65536 - 1});
    EXPECT_EQ(At("a", 2), "last");
}

// ------------------------------------------------------------------ ArrayFileGetCSV

TEST_F(ArrayFunctions, FileGetCsvFieldsAndPadding) {
    MakeFile("f", "a, b ,\"c,d\"\r\n\"he said \"\"hi\"\"\",x\n\n  \"q\"  ,1");
    Run("t = ArrayFileGetCSV(f, 0)");
    EXPECT_EQ(Sizes("t"), Dims({4, 3}));
    EXPECT_EQ(At("t", 0), "a");
    EXPECT_EQ(At("t", 1), "b");
    EXPECT_EQ(At("t", 2), "c,d");
    EXPECT_EQ(At("t", 3), "he said \"hi\"");
    EXPECT_EQ(At("t", 4), "x");
    EXPECT_EQ(At("t", 5), "");  // a short line is padded with empty texts
    EXPECT_EQ(At("t", 6), "");  // and an empty line has no fields at all
    EXPECT_EQ(At("t", 8), "");
    EXPECT_EQ(At("t", 9), "q");
    EXPECT_EQ(At("t", 10), "1");
    // Bit 0 keeps the blanks of unquoted fields; quoted ones are unchanged.
    Run("t = ArrayFileGetCSV(f, 1)");
    EXPECT_EQ(At("t", 1), " b ");
    EXPECT_EQ(At("t", 9), "q");
    // Extras stay undefined; negative extras count as none.
    Run("t = ArrayFileGetCSV(f, 0, ',', 1, 2)");
    EXPECT_EQ(Sizes("t"), Dims({5, 5}));
    EXPECT_EQ(At("t", 2), "c,d");
    EXPECT_EQ(At("t", 3), "<undefined>");
    EXPECT_EQ(At("t", 5), "he said \"hi\"");
    EXPECT_EQ(At("t", 24), "<undefined>");
    Run("t = ArrayFileGetCSV(f, 0, ',', -1, -1)");
    EXPECT_EQ(Sizes("t"), Dims({4, 3}));
}

TEST_F(ArrayFunctions, FileGetCsvDelimitersAndBlanks) {
    // With the tab as delimiter only the space is a blank.
    MakeFile("f", " a \t\tc ; d\n");
    Run("t = ArrayFileGetCSV(f, 0, @tab)");
    EXPECT_EQ(Sizes("t"), Dims({1, 3}));
    EXPECT_EQ(At("t", 0), "a");
    EXPECT_EQ(At("t", 1), "");
    EXPECT_EQ(At("t", 2), "c ; d");
    Run("t = ArrayFileGetCSV(f, 0, ';')");
    EXPECT_EQ(Sizes("t"), Dims({1, 2}));
    EXPECT_EQ(At("t", 0), "a \t\tc");
    MakeFile("g", "x,\n,\n");
    Run("t = ArrayFileGetCSV(g, 0)");
    EXPECT_EQ(Sizes("t"), Dims({2, 2}));
    EXPECT_EQ(At("t", 1), "");
    EXPECT_EQ(At("t", 2), "");
    for (const char* bad : {"''", "' '", "'\"'", "';;'", "@crlf", "@lf"}) {
        EXPECT_EQ(Error(std::string("t = ArrayFileGetCSV(f, 0, ") + bad + ")"), E(Err::BadDelimiter)) << bad;
    }
}

TEST_F(ArrayFunctions, FileGetCsvInvalidLines) {
    const char* invalid[] = {
        "ok\nab\"c,d\n",      // a quote after text of an unquoted field
        "\"abc\"x,1\n",       // text after the closing quote
        "1,\"abc\n",          // a quote never closed
        "\"a\nb\"\n",         // records never span lines
        "\"a\"\"\n",          // the doubled quote leaves the field open
    };
    for (const char* bytes : invalid) {
        MakeFile("f", bytes);
        EXPECT_EQ(Error("t = ArrayFileGetCSV(f, 0)"), E(Err::FileBadCsvLine)) << bytes;
    }
    MakeFile("f", std::string("a,b\n\0", 5));
    EXPECT_EQ(Error("t = ArrayFileGetCSV(f, 0)"), E(Err::FileHasNullChar));
    MakeFile("f", " \"\" , \"\"\"\" \n");
    Run("t = ArrayFileGetCSV(f, 0)");
    EXPECT_EQ(At("t", 0), "");
    EXPECT_EQ(At("t", 1), "\"");
    MakeFile("f", "\n\n");
    Run("t = ArrayFileGetCSV(f, 0)");
    EXPECT_EQ(Sizes("t"), Dims({}));
    Run("t = ArrayFileGetCSV(f, 0, ',', 0, 2)");
    EXPECT_EQ(Sizes("t"), Dims({2, 2}));
    EXPECT_EQ(At("t", 0), "<undefined>");
}

// ------------------------------------------------------------------ ArrayFilePut, ArrayFilePutCSV

TEST_F(ArrayFunctions, FilePutWritesEveryElement) {
    const std::string path = PathOf("out");
    Run("a = ArrDimension(5)");
    Run("a[0] = 'x'");
    Run("a[1] = -5");
    Run("a[2] = 2.5");
    // a[3] never assigned: an empty line
    ASSERT_TRUE(set_value_wtext(st, &ArrayOf("a")->elements[4].v, L"wide", 4));
    const HeapStats before = heap_stats(st);
    EXPECT_EQ(Int("ArrayFilePut(out, a)"), 5);
    EXPECT_EQ(Contents(path), "x\r\n-5\r\n2.5\r\n\r\nwide\r\n");
    EXPECT_EQ(heap_stats(st).used_bytes, before.used_bytes);
    EXPECT_EQ(ArrayOf("a")->elements[1].v.flags, (uint32_t)VF_INT);  // no text added to the element
    Run("ArrayFilePut(out, a, 1)");
    EXPECT_EQ(Contents(path), "x\n-5\n2.5\n\nwide\n");
    Run("ArrayFilePut(out, a, 3)");
    EXPECT_EQ(Contents(path), "x\n-5\n2.5\n\nwide");
    Run("b = ArrayFileGet(out)");
    EXPECT_EQ(Sizes("b"), Dims({5}));
    EXPECT_EQ(At("b", 4), "wide");
}

TEST_F(ArrayFunctions, FilePutErrors) {
    PathOf("out");
    Run("t = ArrDimension(2, 2)");
    EXPECT_EQ(Error("ArrayFilePut(out, t)"), E(Err::ArrayBadDimCount));
    Run("z = ArrDimension(0)");
    EXPECT_EQ(Error("ArrayFilePut(out, z)"), E(Err::ArrayBadDimCount));
    Run("v = ArrDimension(1)");
    EXPECT_EQ(Error("ArrayFilePut(out, v, 4)"), E(Err::BadFlags));
    ASSERT_TRUE(set_variable_text(st, "nowhere", (directory + "\\no\\such\\dir.txt").c_str()));
    EXPECT_EQ(Error("ArrayFilePut(nowhere, v)"), E(Err::FileOpenError));
    EXPECT_EQ(Error("ArrayFilePut(out, 5)"), E(Err::NotAnArray));
}

TEST_F(ArrayFunctions, FilePutCsvQuotesWhatNeedsIt) {
    const std::string path = PathOf("out");
    Run("t = ArrDimension(2, 4)");
    Run("t[0, 0] = 'plain'");
    Run("t[0, 1] = 'a,b'");
    Run("t[0, 2] = 'say \"hi\"'");
    Run("t[0, 3] = ' pad'");
    Run("t[1, 0] = 7");
    // t[1, 1] never assigned
    Run("t[1, 2] = 'in\"side'");
    Run("t[1, 3] = 'x;y'");
    EXPECT_EQ(Int("ArrayFilePutCSV(out, t)"), 2);
    EXPECT_EQ(Contents(path), "plain,\"a,b\",\"say \"\"hi\"\"\",\" pad\"\r\n7,,\"in\"\"side\",x;y\r\n");
    Run("back = ArrayFileGetCSV(out, 0)");
    EXPECT_EQ(Sizes("back"), Dims({2, 4}));
    for (uint32_t i = 0; i < 8; ++i) {
        const std::string want = i == 5 ? "" : (i == 4 ? "7" : At("t", i));
        EXPECT_EQ(At("back", i), want) << i;
    }
    Run("ArrayFilePutCSV(out, t, ';', 1, 3)");
    EXPECT_EQ(Contents(path),
              "\"plain\";\"a,b\";\"say \"\"hi\"\"\";\" pad\"\n\"7\";\"\";\"in\"\"side\";\"x;y\"");
    Run("ArrayFilePutCSV(out, t, @tab)");
    Run("back = ArrayFileGetCSV(out, 0, @tab)");
    EXPECT_EQ(At("back", 1), "a,b");
    EXPECT_EQ(At("back", 3), " pad");
}

TEST_F(ArrayFunctions, FilePutCsvEdges) {
    const std::string path = PathOf("out");
    // A row of one empty field is written so that it reads back as a field.
    Run("c = ArrDimension(3)");
    Run("c[0] = 'a'");
    Run("c[1] = ''");
    Run("c[2] = 'b'");
    Run("ArrayFilePutCSV(out, c)");
    EXPECT_EQ(Contents(path), "a\r\n\"\"\r\nb\r\n");
    Run("back = ArrayFileGetCSV(out, 0)");
    EXPECT_EQ(Sizes("back"), Dims({3, 1}));
    EXPECT_EQ(At("back", 1), "");
    Run("c[1] = 'two' : @crlf : 'lines'");
    EXPECT_EQ(Error("ArrayFilePutCSV(out, c)"), E(Err::BadValue));
    EXPECT_EQ(Error("ArrayFilePutCSV(out, c, ' ')"), E(Err::BadDelimiter));
    EXPECT_EQ(Error("ArrayFilePutCSV(out, c, ',', 2)"), E(Err::BadFlags));
    Run("d = ArrDimension(2, 2, 2)");
    EXPECT_EQ(Error("ArrayFilePutCSV(out, d)"), E(Err::ArrayBadDimCount));
}

}  // namespace
