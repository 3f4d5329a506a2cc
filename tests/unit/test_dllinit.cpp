// Start-up contract: handshake, request order and effects, and the
// process-wide tables.
#include <string.h>
#include <atomic>
#include <memory>
#include <thread>
#include "base/cursors.h"
#include "base/display_metrics.h"
#include "base/heap.h"
#include "base/window_classes.h"
#include "error_fixture.h"

namespace {

class StartupTest : public EngineTest {
protected:
    intptr_t request(int16_t code, uintptr_t arg3 = 0, uintptr_t arg5 = 0, uintptr_t arg6 = 0) {
        GlobalUnlock(state_handle);  // entries lock the block themselves
        intptr_t r = DoDaDllInit(nullptr, state_handle, arg3, code, arg5, arg6, 0);
        GlobalLock(state_handle);
        return r;
    }
};

TEST_F(StartupTest, HandshakeChecksTheInterfaceByte) {
    EXPECT_EQ(request(KESTR_REQ_HANDSHAKE, 0x1300), 61936);
    EXPECT_EQ(request(KESTR_REQ_HANDSHAKE, 0x13FF), 61936);  // only bits 8-15 count
    std::string shown = "<no box>";
    std::thread user([&shown] {
        HWND box = wait_for_dialog("DLL mismatch");
        if (box) shown = control_text(box, 0xFFFF);
        if (box) press(box, IDOK);
    });
    EXPECT_EQ(request(KESTR_REQ_HANDSHAKE, 0x1400), 0);
    user.join();
    EXPECT_EQ(shown, "Version Interface Incompatible");
}

TEST_F(StartupTest, UnknownRequestsChangeNothing) {
    std::unique_ptr<uint8_t[]> before(new uint8_t[sizeof(EngineState)]);
    memcpy(before.get(), st, sizeof(EngineState));
    EXPECT_EQ(request(100), 0);
    EXPECT_EQ(request(-1), 0);
    EXPECT_EQ(request(50), 0);
    EXPECT_EQ(memcmp(before.get(), st, sizeof(EngineState)), 0);
}

TEST_F(StartupTest, EveryRequestNeedsAStateBlock) {
    EXPECT_EQ(DoDaDllInit(nullptr, nullptr, 0x1300, KESTR_REQ_HANDSHAKE, 0, 0, 0), 0);
    EXPECT_EQ(DoDaDllInit(nullptr, nullptr, 0, KESTR_REQ_INITIALISE, 0, 0, 0), 0);
    EXPECT_EQ(DoDaDllInit(nullptr, nullptr, 0, KESTR_REQ_SHUTDOWN, 0, 0, 0), 0);
}

// Cursors and the system font bring up the display, so initialisation
// leaves them for their first use, which loads them once.
TEST_F(StartupTest, CursorsAndFontAreTakenOnFirstUse) {
    EXPECT_EQ(request(KESTR_REQ_INITIALISE, 0, 0, (uintptr_t) "Again"), 76);
    EXPECT_EQ(st->wait_cursor, nullptr);
    EXPECT_EQ(st->arrow_cursor, nullptr);
    EXPECT_EQ(st->cursor, nullptr);
    EXPECT_EQ(st->system_font.tmHeight, 0);
    const HCURSOR wait = engine_cursor(st, EngineCursor::Wait);
    EXPECT_EQ(wait, LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_EQ(st->wait_cursor, wait);
    EXPECT_EQ(st->arrow_cursor, nullptr);  // only the one asked for
    EXPECT_EQ(engine_cursor(st, EngineCursor::Arrow), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_GT(system_font_metrics(st).tmHeight, 0);
    EXPECT_GT(st->system_font.tmHeight, 0);
}

TEST_F(StartupTest, ProductNameKeepsNineteenCharacters) {
    EXPECT_EQ(request(KESTR_REQ_INITIALISE, 0, 0, (uintptr_t) "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), 76);
    EXPECT_STREQ(st->product_name, "ABCDEFGHIJKLMNOPQRS");
}

TEST_F(StartupTest, PermutationIsBuiltOnceAndInverted) {
    bool seen[256] = {};
    for (int i = 0; i < 256; ++i) {
        EXPECT_FALSE(seen[ScriptBytePermutation[i]]);
        seen[ScriptBytePermutation[i]] = true;
        EXPECT_EQ(ScriptByteInverse[ScriptBytePermutation[i]], i);
    }
    int fixed = 0;
    for (int i = 0; i < 256; ++i) fixed += ScriptBytePermutation[i] == i;
    EXPECT_LT(fixed, 256);  // not the identity
    uint8_t saved[256];
    memcpy(saved, ScriptBytePermutation, 256);
    EXPECT_EQ(request(KESTR_REQ_INITIALISE, 0, 0, (uintptr_t) "Again"), 76);
    EXPECT_EQ(memcmp(saved, ScriptBytePermutation, 256), 0);
}

TEST_F(StartupTest, WindowClassesAndTheDefaultWindowWaitForFirstUse) {
    WNDCLASSA wc;
    ASSERT_TRUE(ensure_window_classes());
    EXPECT_TRUE(ensure_window_classes());  // a second call only answers
    for (const char* name : {CLASS_NOTIFY, CLASS_DIALOG, CLASS_DIALOG2, CLASS_CONTROL_HOST})
        EXPECT_TRUE(GetClassInfoA(engine_module(), name, &wc)) << name;
    EXPECT_EQ(st->default_window_bottom, 0);
    const int bottom = default_window_bottom(st);
    EXPECT_GT(bottom, 0);
    EXPECT_EQ(st->default_window_bottom, bottom);
}

TEST_F(StartupTest, HeapRequestNeedsARegionAndSetsTheDriveVariable) {
    EXPECT_EQ(request(KESTR_REQ_HEAP, 0, 65536), 0);
    char dir[MAX_PATH], name[4] = {'=', 0, ':', 0}, value[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof dir, dir);
    name[1] = dir[0];
    ASSERT_GT(GetEnvironmentVariableA(name, value, sizeof value), 0u);
    EXPECT_STREQ(value, dir);
    EXPECT_STREQ(st->directory, dir);
}

TEST_F(StartupTest, ShutdownClosesFilesAndKeepsAnswering) {
    const std::string path = temp_path("qsd");
    st->files[3].handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(st->files[3].handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(request(KESTR_REQ_SHUTDOWN), 1);
    EXPECT_EQ(st->files[3].handle, nullptr);
    // Closing deleted the file.
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(StartupTest, BusyCounterSerialisesEntries) {
    InterlockedIncrement(&EntryBusy);
    std::atomic<bool> done{false};
    std::thread caller([&] {
        DoDaDllInit(nullptr, state_handle, 0x1300, KESTR_REQ_HANDSHAKE, 0, 0, 0);
        done = true;
    });
    Sleep(200);
    EXPECT_FALSE(done);
    InterlockedDecrement(&EntryBusy);
    caller.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(EntryBusy, 0);
}

}  // namespace
