// The unit tests' entry: wires the engine's floors together as the DLL does
// when it is loaded, then runs every test in one process.
#include <gtest/gtest.h>
#include "engine/hooks.h"

int main(int argc, char** argv) {
    install_engine_hooks();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
