#pragma once
// Values written as JSON, for lines that scripts read back (strings: text/quoted_string.h).
#include <cstdint>
#include <string>
#include <vector>

namespace marlin::cli {

// The shortest text that reads back as exactly this double.
std::string JsonNumber(double value);

std::string JsonArray(const std::vector<std::string>& texts);
std::string JsonArray(const std::vector<std::int32_t>& numbers);

}  // namespace marlin::cli
