#include "host/plain_toml.h"

#include <charconv>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace marlin {
namespace {

bool IsBare(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// Printable ASCII and tab: what a plain string or comment may hold.
bool IsPlain(char c) { return c == '\t' || (c >= 0x20 && c < 0x7F); }

class Line {
 public:
  Line(std::string_view text, std::size_t begin) : text_(text), at_(begin) {}
  std::size_t At() const { return at_; }
  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return text_[at_]; }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(Peek())) ++at_;
  }
  std::string_view BareKey() {
    const std::size_t begin = at_;
    while (!AtEnd() && IsBare(Peek())) ++at_;
    return text_.substr(begin, at_ - begin);
  }
  bool Take(char c) {
    if (AtEnd() || Peek() != c) return false;
    ++at_;
    return true;
  }
  // Blanks, then the end of the line or a comment of plain characters.
  bool RestIsComment() {
    SkipBlanks();
    if (AtEnd()) return true;
    if (Peek() != '#') return false;
    for (++at_; !AtEnd(); ++at_) {
      if (!IsPlain(Peek())) return false;
    }
    return true;
  }
  std::string_view Text() const { return text_; }
  void MoveTo(std::size_t at) { at_ = at; }

 private:
  std::string_view text_;
  std::size_t at_;
};

std::optional<toml::value> Number(std::string_view token) {
  std::size_t i = token.front() == '+' || token.front() == '-' ? 1 : 0;
  const std::size_t digits = i;
  while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
  if (i == digits || (token[digits] == '0' && i - digits > 1)) return std::nullopt;
  if (i == token.size()) {
    std::int64_t n = 0;
    const char* first = token.data() + (token.front() == '+' ? 1 : 0);
    const auto [end, ec] = std::from_chars(first, token.data() + token.size(), n);
    if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return toml::value(n);
  }
  if (token[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
    if (i == fraction) return std::nullopt;
  }
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    const std::size_t exponent = i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
    if (i == exponent) return std::nullopt;
  }
  if (i != token.size()) return std::nullopt;
  double x = 0;
  const char* first = token.data() + (token.front() == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(first, token.data() + token.size(), x);
  if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return toml::value(x);
}

// A value at the line's position: a one-line string without escapes, or a decimal number.
std::optional<toml::value> Value(Line& line) {
  if (line.AtEnd()) return std::nullopt;
  const char quote = line.Peek();
  if (quote == '"' || quote == '\'') {
    line.Take(quote);
    const std::size_t begin = line.At();
    while (!line.AtEnd() && line.Peek() != quote) {
      if (!IsPlain(line.Peek()) || (quote == '"' && line.Peek() == '\\')) return std::nullopt;
      line.MoveTo(line.At() + 1);
    }
    const std::size_t end = line.At();
    if (!line.Take(quote)) return std::nullopt;
    // '' and "" open multi-line strings when a third quote follows.
    if (end == begin && !line.AtEnd() && line.Peek() == quote) return std::nullopt;
    return toml::value(std::string(line.Text().substr(begin, end - begin)));
  }
  const std::size_t begin = line.At();
  while (!line.AtEnd() && !IsBlank(line.Peek()) && line.Peek() != '#') line.MoveTo(line.At() + 1);
  const std::string_view token = line.Text().substr(begin, line.At() - begin);
  if (token.empty()) return std::nullopt;
  return Number(token);
}

}  // namespace

std::optional<PlainToml> ReadPlainToml(std::string_view text) {
  PlainToml plain{toml::table{}, {}};
  toml::value* table = nullptr;  // keys before the first header are not plain
  std::set<std::string> defined;

  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    const bool lineFeed = end != std::string_view::npos;
    const std::size_t next = lineFeed ? end + 1 : text.size();
    if (!lineFeed) end = text.size();
    // A carriage return counts only as part of a line end.
    if (lineFeed && end > begin && text[end - 1] == '\r') --end;
    Line line(text.substr(0, end), begin);
    begin = next;

    line.SkipBlanks();
    if (line.RestIsComment()) continue;
    const std::size_t start = line.At();
    if (line.Take('[')) {
      std::vector<std::string> path;
      do {
        const std::string_view key = line.BareKey();
        if (key.empty()) return std::nullopt;
        path.emplace_back(key);
      } while (line.Take('.'));
      if (!line.Take(']') || path.size() > 2) return std::nullopt;
      const TextSpan header{start, line.At() - start};
      if (!line.RestIsComment()) return std::nullopt;
      std::string joined = path.front() + (path.size() > 1 ? "." + path.back() : "");
      if (!defined.insert(joined).second) return std::nullopt;
      toml::value* at = &plain.root;
      for (const std::string& key : path) {
        auto& items = at->as_table();
        auto it = items.find(key);
        if (it == items.end()) it = items.emplace(key, toml::table{}).first;
        if (!it->second.is_table()) return std::nullopt;
        at = &it->second;
        // A table the header opens on the way stands where the first such header does.
        plain.places.emplace(at, header);
      }
      // A table that holds keys of its own and is then given a header is left to the parser.
      if (path.size() == 1 && !at->as_table().empty()) return std::nullopt;
      plain.places[at] = header;
      table = at;
      continue;
    }
    const std::string_view key = line.BareKey();
    line.SkipBlanks();
    if (key.empty() || table == nullptr || !line.Take('=')) return std::nullopt;
    line.SkipBlanks();
    const std::size_t valueBegin = line.At();
    std::optional<toml::value> value = Value(line);
    if (!value) return std::nullopt;
    const TextSpan span{valueBegin, line.At() - valueBegin};
    if (!line.RestIsComment()) return std::nullopt;
    auto [it, added] = table->as_table().emplace(std::string(key), std::move(*value));
    if (!added) return std::nullopt;
    plain.places[&it->second] = span;
  }
  return plain;
}

}  // namespace marlin
