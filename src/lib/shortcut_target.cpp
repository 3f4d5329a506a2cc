// Reading a shell shortcut through the shell's link object.
#include "lib/shortcut_target.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace {

// COM for the calling thread for one scope; the thread may have set it up
// already (S_FALSE), which needs the same balancing call.
class ComScope {
public:
    ComScope() : ready_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (ready_) CoUninitialize();
    }

private:
    bool ready_;
};

bool read_link(IShellLinkW* link, const wchar_t* file, wchar_t* target, size_t units) {
    IPersistFile* persist = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) return false;
    bool found = SUCCEEDED(persist->Load(file, STGM_READ)) &&
                 link->GetPath(target, static_cast<int>(units), nullptr, 0) == S_OK && target[0];
    persist->Release();
    return found;
}

}  // namespace

bool shortcut_target(const wchar_t* link_file, wchar_t* target, size_t units) {
    target[0] = 0;
    ComScope com;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    const bool found = read_link(link, link_file, target, units);
    link->Release();
    return found;
}
