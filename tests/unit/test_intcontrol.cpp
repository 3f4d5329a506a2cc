// IntControl through the dispatcher where a script cannot look: the stored
// handler name and error details, the silent mode's log file, the heap probe
// on a crowded heap and requests handed to the host's IntControl. The rest
// is tests/scripts/core/intcontrol.qob.
#include "builtin_fixture.h"

#include <string.h>
#include <string>
#include <vector>
#include "base/error_info.h"
#include "base/heap.h"
#include "lang/host_call.h"

namespace {

// A host whose function table holds "intcontrol"; it records what it got.
std::vector<std::string> g_host_texts;
int32_t g_host_function = -1;

int __stdcall intcontrol_host(HWND, uintptr_t, uint32_t, int32_t function, ResultCallbackFn callback,
                              ExtenderContext* context, uint32_t*, ExtenderValue* args, int32_t count, ExtenderValue*) {
    g_host_function = function;
    g_host_texts.clear();
    for (int i = 0; i < count; ++i)
        g_host_texts.push_back(args[i].flags & VF_STRING ? static_cast<const char*>(args[i].text) : "<int>");
    ExtenderValue answer{};
    answer.flags = VF_STRING;
    answer.text = const_cast<char*>("from host");
    return callback(0, nullptr, context, &answer);
}

class IntControl : public BuiltinTest {
protected:
    KeywordEntry host_table[3] = {};

    // IntControl(request, p1, p2, p3, p4): the result text, or "<error N>".
    std::string ic(int request, const char* p1 = "0", const char* p2 = "0", const char* p3 = "0",
                   const char* p4 = "0") {
        for (int i = 0; i <= 5; ++i) ReleaseValue(st, &args[i].v, RK_VALUE, 0);
        ReleaseValue(st, &result.v, RK_VALUE, 0);
        SetInteger(&result.v, RK_VALUE, 0, 0);
        SetInteger(&args[1].v, RK_VALUE, 0, request);
        const char* texts[4] = {p1, p2, p3, p4};
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(set_value_text(st, &args[i + 2].v, texts[i], strlen(texts[i])));
        st->error = 0;
        if (!DispatchFunction(st, "intcontrol", false, id_named("intcontrol"), &result, args, 5) || st->error)
            return "<error " + std::to_string(st->error) + ">";
        EXPECT_TRUE(result.v.flags & VF_STRING) << "IntControl " << request << " gave no string";
        const char* text = value_text(st, result.v);
        return text ? text : "<no text>";
    }

    void install_host_table() {
        host_table[0] = entry_for("beep", KT_FUNCTION, 1);
        host_table[1] = entry_for("intcontrol", KT_FUNCTION, 5, 0x11111, 0, 1);  // five ANSI texts
        st->host_keywords = host_table;
        st->host_handler = reinterpret_cast<HostHandlerFn>(reinterpret_cast<void*>(intcontrol_host));
    }
};

TEST_F(IntControl, SilentModeAndLogFile) {
    st->silent = 1;
    EXPECT_EQ(ic(38, "5", ""), "1");  // query
    EXPECT_EQ(st->silent, 1);
    EXPECT_EQ(st->log_file[0], '\0');
    EXPECT_EQ(ic(38, "1", "C:\\logs\\run.log"), "1");
    EXPECT_STREQ(st->log_file, "C:\\logs\\run.log");
    EXPECT_EQ(ic(38, "0", ""), "1");
    EXPECT_EQ(st->silent, 0);
    EXPECT_STREQ(st->log_file, "C:\\logs\\run.log");  // an empty p2 keeps it
    EXPECT_EQ(ic(38, "1", ""), "0");
    st->silent = 1;
    st->log_file[0] = '\0';
}

TEST_F(IntControl, HandlerNamesAndErrorInfo) {
    const std::string long_name(40, 'h');
    EXPECT_EQ(ic(72, "3", "0", long_name.c_str()), "0");
    EXPECT_EQ(std::string(st->cancel_handler_name), std::string(30, 'h'));
    // Another mode leaves the name alone.
    EXPECT_EQ(ic(72, "1", "0", "other"), "3");
    EXPECT_EQ(std::string(st->cancel_handler_name), std::string(30, 'h'));
    // A Called script's cancel mode is -1: the previous value keeps its sign.
    st->cancel_handler_mode = -1;
    EXPECT_EQ(ic(72, "9"), "-1");
    AddErrorInfo(st, "detail");
    EXPECT_EQ(ic(73, "-1", "0"), "0");
    EXPECT_STREQ(error_info_text(st), "detail");
    EXPECT_EQ(ic(73, "-1", "1"), "0");
    EXPECT_STREQ(error_info_text(st), "");
}

TEST_F(IntControl, LargestBlockIsFoundByHalving) {
    // Fill the heap's whole reservation, then open one hole of 20000 bytes.
    std::vector<uint32_t> blocks;
    for (uint32_t block; (block = VMalloc(st, 20000)) != 0;) blocks.push_back(block);
    ASSERT_GT(blocks.size(), 10u);
    VFree(st, blocks[blocks.size() / 2]);
    blocks.erase(blocks.begin() + static_cast<long>(blocks.size() / 2));

    const std::string answer = ic(90, "z");
    const uint32_t largest = static_cast<uint32_t>(atoi(answer.c_str()));
    ReleaseValue(st, &result.v, RK_VALUE, 0);
    SetInteger(&result.v, RK_VALUE, 0, 0);
    EXPECT_GE(largest, 20000u) << answer;
    EXPECT_LT(largest, 32768u) << answer;
    const uint32_t fits = VMalloc(st, largest);
    EXPECT_NE(fits, 0u);
    if (fits) VFree(st, fits);
    const uint32_t too_big = VMalloc(st, largest + 1);
    EXPECT_EQ(too_big, 0u);
    if (too_big) VFree(st, too_big);
    for (uint32_t block : blocks) VFree(st, block);
    EXPECT_TRUE(heap_stats(st).intact);
}

TEST_F(IntControl, UnknownRequestsGoToTheHostsIntControl) {
    install_host_table();
    EXPECT_EQ(ic(95, "a", "b", "c", "d"), "from host");
    EXPECT_EQ(g_host_function, 1);  // the entry's index in the host's table
    ASSERT_EQ(g_host_texts.size(), 5u);
    EXPECT_EQ(g_host_texts[0], "95");
    EXPECT_EQ(g_host_texts[1], "a");
    EXPECT_EQ(g_host_texts[4], "d");
    EXPECT_EQ(ic(-7, "a"), "from host");
    EXPECT_EQ(g_host_texts[0], "-7");
    // Known requests stay with the engine.
    g_host_function = -1;
    EXPECT_EQ(ic(87, "-1"), "0");
    EXPECT_EQ(g_host_function, -1);
    st->host_keywords = nullptr;
    st->host_handler = nullptr;
}

}  // namespace
