// A live engine for unit tests: the state block, variable table and heap
// region set up through the real start-up requests, with the main table
// locked as during a run.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>
#include <vector>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/error_numbers.h"
#include "engine/entry.h"
#include "engine/run_loop.h"
#include "lang/evaluator.h"
#include "lang/var_pointer.h"
#include "lang/variables.h"

// An error number as the helpers that run a line answer it, for
// EXPECT_EQ(Error("..."), E(Err::X)).
constexpr int E(Err e) { return static_cast<int>(e); }

// A fresh working value holding the integer n, with no origin.
inline Value int_value(int32_t n = 0) {
    Value v;
    init_value(&v);
    v.v.integer = n;
    return v;
}

// A fresh name in the temporary directory, with no file behind it yet.
inline std::string temp_path(const char* prefix) {
    char directory[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, prefix, 0, name);
    DeleteFileA(name);
    return name;
}

// A whole file's bytes, "<missing>" when it cannot be opened.
inline std::string read_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

// The bytes of a UTF-16 text in either order, after its byte-order mark
// unless told otherwise.
inline std::string utf16_bytes(const std::wstring& text, bool big_endian, bool mark = true) {
    std::string bytes;
    for (wchar_t c : (mark ? L"\xFEFF" : L"") + text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        bytes += big_endian ? high : low;
        bytes += big_endian ? low : high;
    }
    return bytes;
}

inline bool write_file(const std::string& path, const std::string& content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok && written == content.size();
}

class EngineTest : public ::testing::Test {
protected:
    static constexpr uint16_t kCapacity = 400;
    static constexpr SIZE_T kHeapReserve = 16 * 1024 * 1024;
    static constexpr SIZE_T kHeapInitial = 64 * 1024;

    HGLOBAL state_handle = nullptr;
    std::vector<HGLOBAL> blocks;  // script buffers, freed after the test
    HGLOBAL table_handle = nullptr;
    void* heap_region = nullptr;
    EngineState* st = nullptr;

    // Override to start with a different committed heap size.
    virtual SIZE_T heap_initial() const { return kHeapInitial; }

    void SetUp() override {
        state_handle = GlobalAlloc(GHND, KESTR_STATE_BLOCK_BYTES);
        table_handle = GlobalAlloc(GHND, kCapacity * KESTR_VARIABLE_SLOT_BYTES);
        heap_region = VirtualAlloc(nullptr, kHeapReserve, MEM_RESERVE, PAGE_READWRITE);
        ASSERT_NE(heap_region, nullptr);
        ASSERT_NE(VirtualAlloc(heap_region, heap_initial(), MEM_COMMIT, PAGE_READWRITE), nullptr);
        ASSERT_EQ(DoDaDllInit(nullptr, state_handle, KESTR_INTERFACE_WORD, KESTR_REQ_HANDSHAKE, 0, 0, 0),
                  (intptr_t)KESTR_HANDSHAKE_OK);
        ASSERT_EQ(DoDaDllInit(nullptr, state_handle, 0, KESTR_REQ_INITIALISE,
                              (uintptr_t)GetModuleHandleA(nullptr), (uintptr_t) "UnitTest", 0),
                  (intptr_t)KESTR_INITIALISED);
        ASSERT_EQ(DoDaDllInit(nullptr, state_handle, (uintptr_t)table_handle, KESTR_REQ_VARIABLES, kCapacity, 0, 0), 1);
        ASSERT_EQ(DoDaDllInit(nullptr, state_handle, (uintptr_t)heap_region, KESTR_REQ_HEAP, heap_initial(), 0, 0), 1);
        st = static_cast<EngineState*>(GlobalLock(state_handle));
        ASSERT_NE(st, nullptr);
        st->silent = 1;  // nobody is there to answer a message box
        ASSERT_TRUE(lock_current_table(st));
    }

    // The error the last step left, cleared with its additional text so
    // that the next step starts clean: EXPECT_EQ(take_error(), E(Err::X)).
    int take_error() {
        const int error = st->error;
        st->error = 0;
        free_error_info(st);
        return error;
    }

    // A script as a host hands it over: a moveable block, zero-terminated.
    static HGLOBAL script_block(const void* bytes, size_t size) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size + 2);
        memcpy(GlobalLock(block), bytes, size);
        GlobalUnlock(block);
        return block;
    }

    // The error a step that must fail left, still pending:
    // EXPECT_EQ(failed(step(...)), E(Err::X)).
    int failed(bool ok) {
        EXPECT_FALSE(ok);
        return st->error;
    }

    // A buffer over text scrambled as the loader leaves it (no line ends
    // changed), freed after the test.
    ScriptBuffer scrambled(const std::string& text, uint32_t slack = 0) {
        const uint32_t length = static_cast<uint32_t>(text.size());
        HGLOBAL h = GlobalAlloc(GHND, length + 1 + slack);
        blocks.push_back(h);
        auto* p = static_cast<uint8_t*>(GlobalLock(h));
        memcpy(p, text.c_str(), length + 1);
        ScrambleScript(st, p, length);
        GlobalUnlock(h);
        return ScriptBuffer{h, length, 0};
    }

    // Runs text through the host entry; the entry's answer (1: it ran).
    int run_entry(const std::string& text, void* host = nullptr, const void* keywords = nullptr,
                  HWND window = nullptr) {
        HGLOBAL block = script_block(text.data(), text.size());
        const int entry = ProcessDaBatBuffer(window, state_handle, block, host, keywords);
        GlobalFree(block);
        return entry;
    }

    // Runs text through RunScript with the run state the entry would set,
    // without the entry's resets (the cancel flags, defined functions).
    int run_script(const std::string& text) {
        const uint32_t length = static_cast<uint32_t>(text.size());
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1);
        auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
        memcpy(bytes, text.data(), length);
        NormaliseLineEnds(reinterpret_cast<char*>(bytes));
        ScrambleScript(st, bytes, length);
        GlobalUnlock(block);
        st->error_mode = ERRMODE_CANCEL;
        st->cancel_report = 1;
        st->last_if = -1;
        Value result;
        init_value(&result);
        uint32_t line_start = 0, position = 0;
        const int outcome = RunScript(st, &result, ScriptBuffer{block, length, 0}, &line_start, &position);
        release_value(st, &result);
        GlobalFree(block);
        return outcome;
    }

    // A fresh working value holding a copy of text.
    Value text_value(const char* text) {
        Value v = int_value();
        EXPECT_TRUE(set_value_text(st, &v.v, text, strlen(text)));
        return v;
    }

    // The pointer text of a variable of the current table, "<fail>" when none is made.
    std::string pointer_to(const char* name) {
        Value v = int_value();
        uint16_t slot = FindSlot(st, name);
        EXPECT_NE(slot, NO_SLOT);
        if (!make_pointer_value(st, slot, &v)) return "<fail>";
        std::string text = value_text(st, v.v);
        ReleaseValue(st, &v.v, RK_VALUE, 0);
        return text;
    }

    // A variable's integer, -999999 when it holds none.
    int32_t int_var(const char* name) {
        const uint16_t slot = FindSlot(st, name);
        if (slot == NO_SLOT || !(slot_at(st, slot)->v.flags & VF_INT)) return -999999;
        return slot_at(st, slot)->v.integer;
    }

    // A variable's (or an element's) text, "<none>" when it has none.
    std::string text_var(const char* name) {
        char buffer[LINE_BUFFER_BYTES] = "";
        return GetVariableText(st, name, buffer, sizeof buffer) ? buffer : "<none>";
    }

    bool defined(const char* name) {
        const uint16_t slot = FindSlot(st, name);
        return slot != NO_SLOT && (slot_at(st, slot)->v.flags & VF_DEFINED_MASK);
    }

    void TearDown() override {
        for (HGLOBAL h : blocks) GlobalFree(h);
        if (st) {
            unlock_current_table(st);
            GlobalUnlock(state_handle);
            DoDaDllInit(nullptr, state_handle, 0, KESTR_REQ_SHUTDOWN, 0, 0, 0);
        }
        if (heap_region) VirtualFree(heap_region, 0, MEM_RELEASE);
        if (table_handle) GlobalFree(table_handle);
        if (state_handle) GlobalFree(state_handle);
    }
};
