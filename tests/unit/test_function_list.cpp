// docs/functions.md and docs/intcontrol.md must match what the keyword,
// handler and IntControl request tables say.
#include <string>
#include "engine_fixture.h"
#include "function_list.h"
#include "intcontrol_list.h"
#include "lib/intcontrol.h"

namespace {

// Under Wine a Unix path is read through drive Z:, which maps the Unix root.
std::string source_path(const char* relative) {
    std::string path = QOB_SOURCE_DIR;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    return path + "/" + relative;
}

// The stored list at `relative` must be `text`; `command` regenerates it.
void expect_current(const char* relative, const std::string& text, const char* command) {
    const std::string stored = read_file(source_path(relative));
    ASSERT_NE(stored, "<missing>") << relative << " is missing; generate it with " << command;
    EXPECT_TRUE(stored == text) << relative << " is out of date; regenerate with " << command;
}

TEST(FunctionList, IsCurrent) { expect_current(kFunctionListPath, function_list_text(), kFunctionListCommand); }

TEST(IntControlList, IsCurrent) {
    expect_current(kIntControlListPath, intcontrol_list_text(), kIntControlListCommand);
}

}  // namespace
