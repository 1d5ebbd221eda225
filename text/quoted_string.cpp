#include "text/quoted_string.h"

#include <array>
#include <cstdio>

#include "text/utf8.h"

namespace marlin::text {
namespace {

void AppendAscii(std::string& out, char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
    std::array<char, 7> code{};
    std::snprintf(code.data(), code.size(), "\\u%04x", static_cast<unsigned>(c));
    out += code.data();
  } else {
    out += c;
  }
}

std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  AppendEscaped(out, text);
  out += '"';
  return out;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 1) {
      AppendAscii(out, text[at]);
    } else if (length == 0) {
      out += kReplacement;
    } else {
      out.append(text.substr(at, length));
    }
    at += length == 0 ? 1 : length;
  }
}

std::string JsonString(std::string_view text) { return Quoted(text); }
std::string TomlString(std::string_view text) { return Quoted(text); }

}  // namespace marlin::text
