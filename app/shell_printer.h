#pragma once
// The one line the console prints per command: "ok", "ok <value>" or
// "error <number> <description>", numbers in decimal, texts as JSON strings, arrays as JSON
// arrays.
#include <string>

#include "app/shell_result.h"

namespace marlin::cli {

// Without the line feed.
std::string ResultLine(const ShellResult& result);

// Error number of a line the console could not parse.
inline constexpr std::int32_t kSyntaxErrorNumber = 0;

}  // namespace marlin::cli
