// The array built-in functions where a script cannot look: heap blocks and
// handles, variant arrays, null characters in files and the exact bytes
// written. The rest is tests/scripts/arrays/array_functions.qob.
#include "array_fixture.h"

#include <oleauto.h>
#include <vector>
#include "lib/dispatch.h"

namespace {

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

TEST_F(ArrayFunctions, ArrInitializeRefusesAFileHandle) {
    Run("a = ArrDimension(2)");
    ASSERT_TRUE(set_variable_int(st, "handle", 3));
    Slot("handle").v.flags = VF_FILE;
    EXPECT_EQ(Error("ArrInitialize(a, handle)"), E(Err::ArrInitializeBadValue));
    Slot("handle").v.flags = VF_INT;
    EXPECT_EQ(ArrayOf("a")->elements[0].v.flags, 0u);
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

TEST_F(ArrayFunctions, SwapMovesRecordsAsTheyAre) {
    Run("a = ArrDimension(2, 3)");
    Run("a[0, 1] = 'p'");
    Run("a[1, 2] = 5");
    const uintptr_t text_block = ArrayOf("a")->elements[1].v.handle;
    const HeapStats before = heap_stats(st);
    EXPECT_EQ(Int("ArraySwapElements(a, 0, 1, 0, 0, 0, 1, 2, 0, 0, 0)"), 1);
    EXPECT_EQ(ArrayOf("a")->elements[5].v.handle, text_block);  // moved, not copied
    EXPECT_EQ(heap_stats(st).used_blocks, before.used_blocks);
}

TEST_F(ArrayFunctions, FileGetNullCharReplacesOrDrops) {
    MakeFile("f", std::string("a\0b\nc", 5));
    Run("a = ArrayFileGet(f)");
    EXPECT_EQ(At("a", 0), "ab");
    Run("a = ArrayFileGet(f, '_', 2)");
    EXPECT_EQ(At("a", 0), "a_b");
    EXPECT_EQ(Error("x = a[3]"), E(Err::ArrayElementUninitialized));
}

TEST_F(ArrayFunctions, FileGetCsvRefusesANullChar) {
    MakeFile("f", std::string("a,b\n\0", 5));
    EXPECT_EQ(Error("t = ArrayFileGetCSV(f, 0)"), E(Err::FileHasNullChar));
}

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

TEST_F(ArrayFunctions, FilePutCsvQuotesAnEmptyRow) {
    const std::string path = PathOf("out");
    Run("c = ArrDimension(3)");
    Run("c[0] = 'a'");
    Run("c[1] = ''");
    Run("c[2] = 'b'");
    Run("ArrayFilePutCSV(out, c)");
    EXPECT_EQ(Contents(path), "a\r\n\"\"\r\nb\r\n");
}

}  // namespace
