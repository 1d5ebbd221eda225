#include "host/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace marlin {
namespace {

constexpr const char* kCut = "...";

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto c = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  std::uint32_t lowest = 0;
  std::uint32_t code = 0;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    length = 2, lowest = 0x80, code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3, lowest = 0x800, code = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    length = 4, lowest = 0x10000, code = c & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(next)) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < lowest || code > 0x10FFFF || surrogate) return 0;
  return length;
}

std::string Escape(const char* form, unsigned value) {
  char out[8];
  std::snprintf(out, sizeof out, form, value);
  return out;
}

}  // namespace

std::string Printable(std::string_view text, std::size_t longest) {
  const bool cut = text.size() > longest;
  if (cut) text = text.substr(0, longest);
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t length = Utf8Length(text, at);
    if (length == 0 || (length == 1 && (c < 0x20 || c == 0x7F))) {
      out += Escape("\\x%02X", c);
      ++at;
    } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
      out += Escape("\\u%04X", static_cast<unsigned char>(text[at + 1]));
      at += 2;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return cut ? out + kCut : out;
}

std::string Capped(std::string_view text, std::size_t longest) {
  if (text.size() <= longest) return std::string(text);
  std::size_t end = longest;
  while (end > 0 && IsContinuation(static_cast<unsigned char>(text[end]))) --end;
  return std::string(text.substr(0, end)) + kCut;
}

}  // namespace marlin
