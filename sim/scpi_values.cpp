#include "sim/scpi_values.h"

#include <charconv>

#include "sim/scpi_header.h"

namespace marlin::sim {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::optional<bool> ParseBoolean(std::string_view text) {
  const std::string upper = ToUpper(text);
  if (upper == "ON" || upper == "1") return true;
  if (upper == "OFF" || upper == "0") return false;
  return std::nullopt;
}

std::optional<long> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<std::string> NormalizeLanTimeout(std::string_view text) {
  if (text.size() < 2 || text.size() > 4) return std::nullopt;
  std::string upper = ToUpper(text);
  const char unit = upper.back();
  if (unit != 'S' && unit != 'M' && unit != 'H' && unit != 'D') return std::nullopt;
  for (std::size_t i = 0; i + 1 < upper.size(); ++i)
    if (!IsDigit(upper[i])) return std::nullopt;
  return upper;
}

bool IsAnswerSafe(std::string_view text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7e || c == ',' || c == ';' || c == '"' || c == '\'') return false;
  }
  return true;
}

bool IsVersion(std::string_view text) {
  bool digitBefore = false;
  for (char c : text) {
    if (IsDigit(c)) {
      digitBefore = true;
    } else if (c == '.' && digitBefore) {
      digitBefore = false;
    } else {
      return false;
    }
  }
  return digitBefore;
}

double VersionNumber(std::string_view text) {
  double value = 0;
  const auto secondDot = text.find('.', text.find('.') + 1);
  text = text.substr(0, secondDot);
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace marlin::sim
