// A host that records every call it gets (the function, the first
// argument's text, the next two arguments' numbers) and can answer one call
// with a stop or move to another directory and say so. Reset g_host before use.
#pragma once

#include <string>
#include <vector>
#include "engine_fixture.h"
#include "lang/host_call.h"

struct HostLog {
    std::vector<int32_t> functions;
    std::vector<std::string> texts;
    std::vector<uintptr_t> words2, positions;  // the second and third arguments
    int stop_at_call = -1;            // answer the n-th call (from 0) with a stop
    const char* change_to = nullptr;  // directory the host moves to, reporting it
};
inline HostLog g_host;

inline int __stdcall recording_host(HWND, uintptr_t, uint32_t, int32_t function, ResultCallbackFn callback,
                                    ExtenderContext* context, uint32_t*, ExtenderValue* args, int32_t count,
                                    ExtenderValue*) {
    const int call = static_cast<int>(g_host.functions.size());
    g_host.functions.push_back(function);
    g_host.texts.push_back(count > 0 && args[0].text ? static_cast<const char*>(args[0].text) : "");
    g_host.words2.push_back(count > 1 ? static_cast<uintptr_t>(args[1].integer) : 0);
    g_host.positions.push_back(count > 2 ? static_cast<uintptr_t>(args[2].integer) : 0);
    if (call == g_host.stop_at_call) return KESTR_RESULT_STOP;
    if (g_host.change_to) {
        SetCurrentDirectoryA(g_host.change_to);
        ExtenderValue answer{};
        answer.flags = VF_INT;
        answer.integer = KESTR_HOOK_DIRECTORY_CHANGED;
        return callback(0, nullptr, context, &answer);
    }
    return 0;
}
