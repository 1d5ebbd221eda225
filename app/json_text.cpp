#include "app/json_text.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace marlin::cli {
namespace {

// Length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendEscape(std::string& out, unsigned code) {
  std::array<char, 7> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "\\u%04x", code);
  out += buffer.data();
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      if (const std::size_t n = Utf8SequenceLength(text.substr(i)); n > 0) {
        out.append(text.substr(i, n));
        i += n;
      } else {
        AppendEscape(out, c);
        ++i;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          AppendEscape(out, c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

std::string JsonNumber(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), ec == std::errc() ? end : buffer.data());
}

std::string JsonArray(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + JsonString(texts[i]);
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
