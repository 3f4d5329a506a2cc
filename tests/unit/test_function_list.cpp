// docs/functions.md and docs/intcontrol.md must match what the keyword,
// handler and IntControl request tables say.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
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

bool read_file(const std::string& path, std::string* text) {
    FILE* in = fopen(path.c_str(), "rb");
    if (!in) return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) text->append(buffer, n);
    fclose(in);
    return true;
}

TEST(FunctionList, IsCurrent) {
    std::string stored;
    const std::string path = source_path(kFunctionListPath);
    ASSERT_TRUE(read_file(path, &stored))
        << path << " is missing; generate it with " << kFunctionListCommand;
    EXPECT_TRUE(stored == function_list_text())
        << kFunctionListPath << " is out of date; regenerate with " << kFunctionListCommand;
}

TEST(IntControlList, IsCurrent) {
    std::string stored;
    const std::string path = source_path(kIntControlListPath);
    ASSERT_TRUE(read_file(path, &stored))
        << path << " is missing; generate it with " << kIntControlListCommand;
    EXPECT_TRUE(stored == intcontrol_list_text())
        << kIntControlListPath << " is out of date; regenerate with " << kIntControlListCommand;
}

}  // namespace
