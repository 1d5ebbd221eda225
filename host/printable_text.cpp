#include "host/printable_text.h"

#include <cstdio>

#include "text/utf8.h"

namespace marlin {
namespace {

constexpr const char* kCut = "...";

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

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
    const std::size_t length = text::Utf8SequenceLength(text, at);
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
