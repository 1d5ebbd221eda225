#pragma once
// SCPI program headers: splitting a line into units and matching a header against a pattern
// written in the usual notation ("SYSTem:ERRor[:NEXT]", "CONTrol#:AMODulation:FGA", "*IDN"):
// upper case marks the short form, "#" a numeric suffix (1 when omitted), [...] an optional node.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::sim {

struct HeaderNode {
  std::string mnemonic;  // upper case
  std::optional<long> suffix;
};

struct ProgramUnit {
  std::vector<HeaderNode> nodes;
  bool query = false;
  std::string parameter;  // blanks around it removed
};

// One unit ("RF:BAND:PATH 2", "*IDN?"); nullopt when the header is not well formed.
std::optional<ProgramUnit> ParseUnit(std::string_view text);

// A line split at the ";" between units (";" inside quotes does not count).
std::vector<std::string_view> SplitUnits(std::string_view line);

class HeaderPattern {
 public:
  explicit HeaderPattern(std::string_view pattern);
  // On a match the suffixes of the "#" nodes, in order (1 where the header omitted one).
  std::optional<std::vector<long>> Match(const std::vector<HeaderNode>& nodes) const;

 private:
  struct Node {
    std::string shortForm, longForm;
    bool takesSuffix = false;
    bool optional = false;
  };
  bool MatchFrom(std::size_t p, const std::vector<HeaderNode>& nodes, std::size_t h,
                 std::vector<long>& suffixes) const;
  std::vector<Node> nodes_;
};

std::string ToUpper(std::string_view text);
std::string_view TrimBlanks(std::string_view text);

}  // namespace marlin::sim
