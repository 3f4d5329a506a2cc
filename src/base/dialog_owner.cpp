// DialogOwnerTable: 100 pairs of (owner window, engine state), keyed by the
// owner of the window a dialog procedure receives.
#include "base/dialog_owner.h"

#include "base/engine_state.h"

namespace {

struct OwnerPair {
    HWND owner;
    EngineState* state;
};
OwnerPair DialogOwnerTable[DIALOG_OWNER_SLOTS];

}  // namespace

void clear_dialog_owner_table() {
    for (OwnerPair& pair : DialogOwnerTable) pair = OwnerPair{};
}

EngineState* DialogOwnerLookup(HWND window, EngineState* state) {
    if (state == DIALOG_OWNER_PING) return state;
    HWND owner = reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_HWNDPARENT));
    if (state != DIALOG_OWNER_FIND && state != DIALOG_OWNER_FIND_QUIET) {
        if (!owner) return nullptr;
        for (OwnerPair& pair : DialogOwnerTable) {
            if (pair.owner == owner || pair.owner == nullptr) {
                pair = OwnerPair{owner, state};
                return state;
            }
        }
        return nullptr;
    }
    for (const OwnerPair& pair : DialogOwnerTable) {
        if (pair.owner && pair.owner == owner) return pair.state;
    }
    if (state == DIALOG_OWNER_FIND)
        MessageBoxA(nullptr, "DlgPointLookup Failure", "Internal Error", MB_OK | MB_SETFOREGROUND);
    return nullptr;
}
