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

// The requests the engine answers itself; the others go to the host.
TEST(IntControlList, EngineRequestsHaveRows) {
    const int handled[] = {1,  4,  5,  7,  8,  12, 13, 20, 21, 22, 23, 24, 25, 26, 28, 29, 30, 31, 32, 33,
                           34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53,
                           54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73,
                           74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 87, 88, 89, 90, 91, 92, 93, 94};
    for (int number : handled) EXPECT_NE(intcontrol_request_summary(number), nullptr) << "request " << number;
    for (int number : {2, 3, 86, 95, 101}) EXPECT_EQ(intcontrol_request_summary(number), nullptr) << number;
}

}  // namespace
