// The IntControl request list (docs/intcontrol.md), generated from the
// request tables of the intcontrol family.
#pragma once

#include <string>

constexpr const char* kIntControlListPath = "docs/intcontrol.md";
constexpr const char* kIntControlListCommand = "cmake --build build/win64 --target intcontrol_md";

// The whole Markdown text of the list, with "\n" line ends.
std::string intcontrol_list_text();
