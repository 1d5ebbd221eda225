#pragma once
// Checks that keep inputs the TOML parser mishandles away from it: text that is not UTF-8 (a
// TOML file must be) and values nested deeper than any device list needs.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlin {

inline constexpr int kDeepestNesting = 32;

struct PrecheckFault {
  std::uint32_t line;
  std::string reason;
};

std::optional<PrecheckFault> PrecheckToml(std::string_view text);

}  // namespace marlin
