#include "app/json_text.h"

#include <array>
#include <charconv>

#include "text/quoted_string.h"

namespace marlin::cli {

std::string JsonNumber(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), ec == std::errc() ? end : buffer.data());
}

std::string JsonArray(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + text::JsonString(texts[i]);
  return out + "]";
}

std::string JsonArray(const std::vector<std::int32_t>& numbers) {
  std::string out = "[";
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    out += (i ? "," : "") + std::to_string(numbers[i]);
  }
  return out + "]";
}

}  // namespace marlin::cli
