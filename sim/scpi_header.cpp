#include "sim/scpi_header.h"

#include <cctype>
#include <limits>
#include <stdexcept>

namespace marlin::sim {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<HeaderNode> ParseNode(std::string_view text, bool common) {
  if (text.empty()) return std::nullopt;
  std::size_t i = 0;
  std::string mnemonic;
  if (common) mnemonic += text[i++];
  while (i < text.size() && (IsAlpha(text[i]) || text[i] == '_')) mnemonic += text[i++];
  if (mnemonic.empty() || (common && mnemonic.size() == 1)) return std::nullopt;
  HeaderNode node{ToUpper(mnemonic), std::nullopt};
  if (i < text.size()) {
    long value = 0;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
      // Saturate: a huge suffix is simply out of range.
      if (value < std::numeric_limits<int>::max()) value = value * 10 + (text[i] - '0');
    }
    node.suffix = value;
  }
  return node;
}

}  // namespace

std::string ToUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitUnits(std::string_view line) {
  std::vector<std::string_view> units;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ';' && !quoted) {
      units.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  units.push_back(line.substr(start));
  return units;
}

std::optional<ProgramUnit> ParseUnit(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  std::string_view header = text.substr(0, end);
  ProgramUnit unit;
  unit.parameter = std::string(TrimBlanks(text.substr(end)));
  if (!header.empty() && header.back() == '?') {
    unit.query = true;
    header.remove_suffix(1);
  }
  const bool common = !header.empty() && header.front() == '*';
  if (!common && !header.empty() && header.front() == ':') header.remove_prefix(1);
  if (header.empty()) return std::nullopt;
  if (common) {
    auto node = ParseNode(header, true);
    if (!node) return std::nullopt;
    unit.nodes.push_back(std::move(*node));
    return unit;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= header.size(); ++i) {
    if (i == header.size() || header[i] == ':') {
      auto node = ParseNode(header.substr(start, i - start), false);
      if (!node) return std::nullopt;
      unit.nodes.push_back(std::move(*node));
      start = i + 1;
    }
  }
  return unit;
}

HeaderPattern::HeaderPattern(std::string_view pattern) {
  std::size_t i = 0;
  while (i < pattern.size()) {
    Node node;
    if (pattern[i] == '[') {
      node.optional = true;
      ++i;
    }
    if (i < pattern.size() && pattern[i] == ':') ++i;
    std::string text;
    while (i < pattern.size() && pattern[i] != ':' && pattern[i] != '[' && pattern[i] != ']')
      text += pattern[i++];
    if (node.optional) {
      if (i >= pattern.size() || pattern[i] != ']')
        throw std::logic_error("unclosed [ in pattern " + std::string(pattern));
      ++i;
    }
    if (!text.empty() && text.back() == '#') {
      node.takesSuffix = true;
      text.pop_back();
    }
    if (text.empty()) throw std::logic_error("empty node in pattern " + std::string(pattern));
    for (char c : text) {
      if (std::isupper(static_cast<unsigned char>(c)) || c == '*' || IsDigit(c))
        node.shortForm += c;
      else
        break;
    }
    node.longForm = ToUpper(text);
    nodes_.push_back(std::move(node));
  }
}

std::optional<std::vector<long>> HeaderPattern::Match(const std::vector<HeaderNode>& nodes) const {
  std::vector<long> suffixes;
  if (!MatchFrom(0, nodes, 0, suffixes)) return std::nullopt;
  return suffixes;
}

bool HeaderPattern::MatchFrom(std::size_t p, const std::vector<HeaderNode>& nodes, std::size_t h,
                              std::vector<long>& suffixes) const {
  if (p == nodes_.size()) return h == nodes.size();
  const Node& node = nodes_[p];
  if (h < nodes.size()) {
    const HeaderNode& given = nodes[h];
    const bool nameMatches = given.mnemonic == node.shortForm || given.mnemonic == node.longForm;
    const bool suffixFits = node.takesSuffix || !given.suffix;
    if (nameMatches && suffixFits) {
      const std::size_t mark = suffixes.size();
      if (node.takesSuffix) suffixes.push_back(given.suffix.value_or(1));
      if (MatchFrom(p + 1, nodes, h + 1, suffixes)) return true;
      suffixes.resize(mark);
    }
  }
  return node.optional && MatchFrom(p + 1, nodes, h, suffixes);
}

}  // namespace marlin::sim
