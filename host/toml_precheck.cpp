#include "host/toml_precheck.h"

#include <cstdio>

#include "text/utf8.h"

namespace marlin {
namespace {

bool StartsWith(std::string_view t, std::size_t i, std::string_view what) {
  return t.substr(i, what.size()) == what;
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : t_(text) {}

  std::optional<PrecheckFault> Run() {
    for (std::size_t i = 0; i < t_.size();) {
      const std::size_t n = text::Utf8SequenceLength(t_, i);
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
