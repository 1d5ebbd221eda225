#include "text/xml_text.h"

#include <cstdio>

#include "text/utf8.h"

namespace marlin::text {
namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

// U+FFFE and U+FFFF are valid UTF-8 but no XML characters.
bool IsXmlNoncharacter(std::string_view sequence) {
  return sequence == "\xEF\xBF\xBE" || sequence == "\xEF\xBF\xBF";
}

// One ASCII character: the markup characters as entities, other control characters as \xNN.
void AppendAscii(std::string& out, unsigned char c) {
  switch (c) {
    case '&':
      out += "&amp;";
      return;
    case '<':
      out += "&lt;";
      return;
    case '>':
      out += "&gt;";
      return;
    case '"':
      out += "&quot;";
      return;
    case '\'':
      out += "&#39;";
      return;
    case '\n':
    case '\t':
      out += static_cast<char>(c);
      return;
    default:
      break;
  }
  if (c < 0x20 || c == 0x7F) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
  } else {
    out += static_cast<char>(c);
  }
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
      AppendAscii(out, c);
      ++at;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    const std::string_view sequence = text.substr(at, length);
    if (IsXmlNoncharacter(sequence)) {
      out += kReplacement;
    } else {
      out += sequence;
    }
    at += length;
  }
  return out;
}

}  // namespace marlin::text
