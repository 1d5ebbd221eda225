#include "driver/text_numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "driver/marlin_error.h"

namespace marlin {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The longest prefix of `text` that reads as a number (sign, digits, one ".", exponent), or an
// empty view when it does not begin with one.
std::string_view NumberPrefix(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (IsDigit(t[i])) {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return {};
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
    if (j < t.size() && IsDigit(t[j])) {
      while (j < t.size() && IsDigit(t[j])) ++j;
      i = j;
    }
  }
  return t.substr(0, i);
}

// Parses a prefix found by NumberPrefix; from_chars is locale-independent and correctly rounded.
double ParseNumber(std::string_view number) {
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  double value = 0;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec == std::errc::result_out_of_range) {
    bool negative = !number.empty() && number.front() == '-';
    std::size_t e = number.find_first_of("eE");
    if (e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-') return 0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  return value;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!IsSkipped(c)) compact.push_back(c);
  }
  return ParseNumber(NumberPrefix(compact));
}

std::int32_t TextToInt32(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  std::string_view number = NumberPrefix(t);
  if (number.empty() || number.size() != t.size()) {
    throw MarlinError(errors::kTypeMismatch, "Type mismatch");
  }
  double rounded = std::nearbyint(ParseNumber(number));  // default rounding: half to even
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    throw MarlinError(errors::kOverflow, "Overflow");
  }
  return static_cast<std::int32_t>(rounded);
}

std::int32_t AnswerToWholeNumber(std::string_view answer) {
  auto fill = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
  while (!answer.empty() && fill(answer.back())) answer.remove_suffix(1);
  while (!answer.empty() && (answer.front() == ' ' || answer.front() == '\t')) {
    answer.remove_prefix(1);
  }
  std::size_t i = (!answer.empty() && (answer[0] == '+' || answer[0] == '-')) ? 1 : 0;
  if (i == answer.size()) throw MarlinError(errors::kTypeMismatch, "Type mismatch");
  std::int64_t value = 0;
  for (std::size_t j = i; j < answer.size(); ++j) {
    if (!IsDigit(answer[j])) throw MarlinError(errors::kTypeMismatch, "Type mismatch");
    value = value * 10 + (answer[j] - '0');
    if (value > std::numeric_limits<std::int32_t>::max() + std::int64_t{1}) {
      throw MarlinError(errors::kOverflow, "Overflow");
    }
  }
  if (answer[0] == '-') value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw MarlinError(errors::kOverflow, "Overflow");
  }
  return static_cast<std::int32_t>(value);
}

std::string Decimal(std::int64_t value) { return std::to_string(value); }

std::string_view AnswerText(std::string_view answer) {
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == '\n' ||
                             answer.back() == '\0' || answer.back() == ' ')) {
    answer.remove_suffix(1);
  }
  return answer;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace marlin
