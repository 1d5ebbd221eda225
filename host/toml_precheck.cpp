#include "host/toml_precheck.h"

#include <cstdio>

#include "host/toml_mask.h"
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
    for (std::size_t i = StartsWith(t_, 0, kByteOrderMark) ? kByteOrderMark.size() : 0;
         i < t_.size();) {
      const std::size_t n = text::Utf8SequenceLength(t_, i);
      if (n == 0) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(t_[i])));
        return PrecheckFault{line_, std::string("the file is not UTF-8 (byte ") + byte + ")"};
      }
      if (auto reason = Unreadable(i, n)) return PrecheckFault{line_, *reason};
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

  // Characters beyond ASCII where the parser asks whether they are whitespace, which it cannot
  // answer for some (host/toml_mask.h). Outside strings and comments TOML allows none of them;
  // in a multi-line string the parser asks after a backslash, of each character up to the first
  // that is neither blank (in its own sense, beyond ASCII too) nor a line end.
  std::optional<std::string> Unreadable(std::size_t i, std::size_t length) {
    const char c = t_[i];
    if (afterBackslash_) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return std::nullopt;
      const char32_t code = text::CodePointAt(t_, i, length);
      if (TomlParserBlank(code)) return std::nullopt;
      afterBackslash_ = false;
      if (TrapsTomlParser(code)) {
        return "the character " + CodePointName(code) +
               " cannot follow a backslash in a multi-line string; write it as \\u" +
               CodePointName(code).substr(2);
      }
    }
    if (in_ == In::MultiBasic && !escaped_ && c == '\\') afterBackslash_ = true;
    if (in_ != In::Code || length == 1) return std::nullopt;
    return "the character " + CodePointName(text::CodePointAt(t_, i, length)) +
           " stands outside a string or comment, where TOML allows only ASCII (a key that holds "
           "it must be quoted)";
  }

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
  bool afterBackslash_ = false;  // in a multi-line basic string, up to the next visible character
  int depth_ = 0;
  std::uint32_t line_ = 1;
};

}  // namespace

std::string CodePointName(char32_t codePoint) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
  return name;
}

std::optional<PrecheckFault> PrecheckToml(std::string_view text) { return Scanner(text).Run(); }

}  // namespace marlin
