#include "host/toml_precheck.h"

#include <cstdio>

namespace marlin {
namespace {

// Length of the UTF-8 sequence at `i`, or 0 when it is not one (overlong forms, surrogates and
// code points beyond U+10FFFF included).
std::size_t Utf8Length(std::string_view t, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(t[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return 1;
  std::size_t n = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + n > t.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return n;
}

bool StartsWith(std::string_view t, std::size_t i, std::string_view what) {
  return t.substr(i, what.size()) == what;
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : t_(text) {}

  std::optional<PrecheckFault> Run() {
    for (std::size_t i = 0; i < t_.size();) {
      const std::size_t n = Utf8Length(t_, i);
      if (n == 0) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(t_[i])));
        return PrecheckFault{line_, std::string("the file is not UTF-8 (byte ") + byte + ")"};
      }
      if (!Structure(i, n)) {
        return PrecheckFault{
            line_, "values are nested more than " + std::to_string(kDeepestNesting) + " deep"};
      }
      if (t_[i] == '\n') ++line_;
      i += n;
    }
    return std::nullopt;
  }

 private:
  enum class In { Code, Comment, Basic, Literal, MultiBasic, MultiLiteral };

  // Follows strings and comments so that only brackets of the document's structure count;
  // false when they nest too deep. Advances `i` past the rest of a string's opener or closer.
  bool Structure(std::size_t& i, std::size_t length) {
    const char c = length == 1 ? t_[i] : '\0';
    if (escaped_) {
      escaped_ = false;
      if (c != '\n') return true;
    }
    switch (in_) {
      case In::Code:
        if (c == '#') {
          in_ = In::Comment;
        } else if (StartsWith(t_, i, "\"\"\"")) {
          in_ = In::MultiBasic;
          i += 2;
        } else if (StartsWith(t_, i, "'''")) {
          in_ = In::MultiLiteral;
          i += 2;
        } else if (c == '"') {
          in_ = In::Basic;
        } else if (c == '\'') {
          in_ = In::Literal;
        } else if (c == '[' || c == '{') {
          if (++depth_ > kDeepestNesting) return false;
        } else if ((c == ']' || c == '}') && depth_ > 0) {
          --depth_;
        }
        break;
      case In::Comment:
        if (c == '\n') in_ = In::Code;
        break;
      case In::Basic:
        if (c == '\\') {
          escaped_ = true;
        } else if (c == '"' || c == '\n') {
          in_ = In::Code;
        }
        break;
      case In::Literal:
        if (c == '\'' || c == '\n') in_ = In::Code;
        break;
      case In::MultiBasic:
        if (c == '\\') {
          escaped_ = true;
        } else if (StartsWith(t_, i, "\"\"\"")) {
          in_ = In::Code;
          i += 2;
        }
        break;
      case In::MultiLiteral:
        if (StartsWith(t_, i, "'''")) {
          in_ = In::Code;
          i += 2;
        }
        break;
    }
    return true;
  }

  std::string_view t_;
  In in_ = In::Code;
  bool escaped_ = false;
  int depth_ = 0;
  std::uint32_t line_ = 1;
};

}  // namespace

std::optional<PrecheckFault> PrecheckToml(std::string_view text) { return Scanner(text).Run(); }

}  // namespace marlin
