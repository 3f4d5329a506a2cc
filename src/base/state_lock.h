// Locks the host's state block for the duration of one entry.
#pragma once

#include <windows.h>
#include "base/engine_state.h"

class StateLock {
public:
    explicit StateLock(HGLOBAL handle) : handle_(handle) {
        st_ = handle ? static_cast<EngineState*>(GlobalLock(handle)) : nullptr;
    }
    ~StateLock() {
        if (st_) GlobalUnlock(handle_);
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    EngineState* get() const { return st_; }

private:
    HGLOBAL handle_;
    EngineState* st_;
};
