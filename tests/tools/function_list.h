// The function-coverage list (docs/functions.md), generated from the keyword
// table and the handler tables.
#pragma once

#include <string>

// Where the list lives in the source tree, and how it is regenerated.
constexpr const char* kFunctionListPath = "docs/functions.md";
constexpr const char* kFunctionListCommand = "cmake --build build/win64 --target functions_md";

// The whole Markdown text of the list, with "\n" line ends.
std::string function_list_text();
