// Shortcut files, which no script function can make yet: the target read
// back from a saved link, and a launch that reaches a program through one,
// given with and without the ".lnk" extension.
#include <objbase.h>
#include <shlobj.h>
#include <wchar.h>
#include "engine_fixture.h"
#include "lib/launcher.h"
#include "lib/shortcut_target.h"

namespace {

constexpr wchar_t kCmd[] = L"C:\\windows\\system32\\cmd.exe";

class Launcher : public EngineTest {
protected:
    wchar_t folder[MAX_PATH] = {};
    wchar_t link[MAX_PATH] = {};
    wchar_t bare[MAX_PATH] = {};

    void SetUp() override {
        EngineTest::SetUp();
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        swprintf(folder, MAX_PATH, L"%lsqob_launcher_%lu", temp, GetCurrentProcessId());
        CreateDirectoryW(folder, nullptr);
        swprintf(bare, MAX_PATH, L"%ls\\to_cmd", folder);
        swprintf(link, MAX_PATH, L"%ls.lnk", bare);
        ASSERT_TRUE(save_link(link, kCmd));
    }

    void TearDown() override {
        DeleteFileW(link);
        RemoveDirectoryW(folder);
        EngineTest::TearDown();
    }

    static bool save_link(const wchar_t* file, const wchar_t* target) {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IShellLinkW* shell_link = nullptr;
        IPersistFile* persist = nullptr;
        bool saved = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                                reinterpret_cast<void**>(&shell_link))) &&
                     SUCCEEDED(shell_link->SetPath(target)) &&
                     SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
                     SUCCEEDED(persist->Save(file, TRUE));
        if (persist) persist->Release();
        if (shell_link) shell_link->Release();
        if (SUCCEEDED(com)) CoUninitialize();
        return saved;
    }

    int32_t run_exit_code(const wchar_t* program, const wchar_t* parameters) {
        LaunchRequest request{program, parameters, L"", DISPLAY_HIDDEN, WAIT_EXIT_CODE, LaunchKind::Process,
                              nullptr, nullptr};
        int32_t result = -1;
        EXPECT_TRUE(launch(st, request, &result)) << "error " << st->error;
        return result;
    }
};

TEST_F(Launcher, ShortcutTargetIsReadBack) {
    wchar_t target[MAX_PATH];
    ASSERT_TRUE(shortcut_target(link, target, MAX_PATH));
    EXPECT_EQ(lstrcmpiW(target, kCmd), 0);
    // A file that is no shortcut has no target.
    EXPECT_FALSE(shortcut_target(kCmd, target, MAX_PATH));
}

TEST_F(Launcher, ShortcutStartsItsTargetWithTheParameters) {
    EXPECT_EQ(run_exit_code(link, L"/c exit 11"), 11);
    EXPECT_EQ(run_exit_code(bare, L"/c exit 12"), 12);
    EXPECT_EQ(st->error, 0);
}

}  // namespace
