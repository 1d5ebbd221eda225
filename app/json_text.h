#pragma once
// Values written as JSON, for lines that scripts read back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::cli {

// A JSON string. Control characters (NUL, CR, LF ...) are escaped so they stay visible; valid
// UTF-8 passes through; any other byte becomes the character of the same code (Latin-1), so no
// byte is lost and the result is always valid JSON.
std::string JsonString(std::string_view text);

// The shortest text that reads back as exactly this double.
std::string JsonNumber(double value);

std::string JsonArray(const std::vector<std::string>& texts);
std::string JsonArray(const std::vector<std::int32_t>& numbers);

}  // namespace marlin::cli
