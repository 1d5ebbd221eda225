#include "app/timeline/xml_text.h"

#include <cstdint>
#include <cstdio>

namespace marlin::timeline {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr const char* kEllipsis = "\xE2\x80\xA6";

// Length of the well-formed UTF-8 sequence at `at` (shortest form, no surrogates, at most
// U+10FFFF), or 0.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  // U+FFFE and U+FFFF are not XML characters.
  if (length == 3 && lead == 0xEF && byte(at + 1) == 0xBF && byte(at + 2) >= 0xBE) return 0;
  return length;
}

}  // namespace

std::string XmlText(std::string_view text, std::size_t most) {
  std::string out;
  out.reserve(text.size() + 16);
  std::size_t shown = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (shown == most) {
      out += kEllipsis;
      break;
    }
    ++shown;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      ++at;
      switch (c) {
        case '&': out += "&amp;"; continue;
        case '<': out += "&lt;"; continue;
        case '>': out += "&gt;"; continue;
        case '"': out += "&quot;"; continue;
        case '\'': out += "&#39;"; continue;
        case '\n': out += '\n'; continue;
        case '\t': out += '\t'; continue;
        default: break;
      }
      if (c < 0x20 || c == 0x7F) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
      } else {
        out += static_cast<char>(c);
      }
      continue;
    }
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

}  // namespace marlin::timeline
