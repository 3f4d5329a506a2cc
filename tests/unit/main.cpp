// The unit tests' entry: wires the engine's floors together as the DLL does
// when it is loaded, then runs every test in one process. The hook tables
// and process-wide settings a test may replace are put back after every
// test, so the suite passes in any order.
#include <gtest/gtest.h>
#include "base/upcalls.h"
#include "engine/hooks.h"
#include "lang/error_driver.h"
#include "lang/fpfault.h"
#include "lang/functions.h"
#include "lang/keyword_table.h"
#include "lang/statements.h"
#include "lib/dispatch.h"

namespace {

// Every mutable table between the floors, as installed at start-up.
struct Hooks {
    Upcalls upcalls = g_upcalls;
    UserFunctionHooks user_functions = UserFunctions;
    DispatchHooks dispatch = g_dispatch_hooks;
    CollectionHooks collection = g_collection_hooks;
    decltype(g_invoke_handler_function) invoke_handler = g_invoke_handler_function;
    decltype(g_function_body_buffer) body_buffer = g_function_body_buffer;
    int extender_count = ExtenderFunctionCount;
};

class RestoreHooks : public testing::EmptyTestEventListener {
public:
    void OnTestEnd(const testing::TestInfo&) override {
        g_upcalls = start.upcalls;
        UserFunctions = start.user_functions;
        g_dispatch_hooks = start.dispatch;
        g_collection_hooks = start.collection;
        g_invoke_handler_function = start.invoke_handler;
        g_function_body_buffer = start.body_buffer;
        ExtenderFunctionCount = start.extender_count;
        for (KeywordEntry& entry : ExtenderFunctionTable) entry = KeywordEntry{};
        g_pending_fp_error = 0;
    }

private:
    Hooks start;
};

}  // namespace

int main(int argc, char** argv) {
    install_engine_hooks();
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new RestoreHooks);
    return RUN_ALL_TESTS();
}
