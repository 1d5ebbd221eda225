#include "host/toml_mask.h"

#include <algorithm>

#include "text/utf8.h"

namespace marlin {
namespace {

bool IsMask(char32_t codePoint) {
  return codePoint >= kTomlMaskOffset && TrapsTomlParser(codePoint - kTomlMaskOffset);
}

}  // namespace

bool TrapsTomlParser(char32_t c) {
  return (c >= 0xA1 && c <= 0x499) || (c >= 0x2C5E && c <= 0x2FFF) ||
         (c >= 0x3001 && c <= 0x3057) || (c >= 0xFB26 && c <= 0xFEFE);
}

bool TomlParserBlank(char32_t c) {
  return c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200B) || c == 0x202F ||
         c == 0x205F || c == 0x2060 || c == 0x3000 || c == 0xFEFF;
}

std::optional<MaskedToml> MaskForTomlParser(std::string_view text) {
  MaskedToml masked{{}, 0, 0};
  bool any = false;
  std::uint32_t line = 1;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = text::Utf8SequenceLength(text, at);
    if (length < 2) {
      if (text[at] == '\n') ++line;
      masked.text += text[at++];
      continue;
    }
    const char32_t c = text::CodePointAt(text, at, length);
    if (TrapsTomlParser(c)) {
      any = true;
      text::AppendUtf8(masked.text, kTomlMaskOffset + c);
    } else {
      if (IsMask(c) && masked.clash == 0) {
        masked.clash = c;
        masked.clashLine = line;
      }
      masked.text.append(text.substr(at, length));
    }
    at += length;
  }
  if (!any) return std::nullopt;
  return masked;
}

std::string Unmasked(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = std::max<std::size_t>(1, text::Utf8SequenceLength(text, at));
    const char32_t c = length > 1 ? text::CodePointAt(text, at, length) : 0;
    if (IsMask(c)) {
      text::AppendUtf8(out, c - kTomlMaskOffset);
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

}  // namespace marlin
