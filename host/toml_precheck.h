#pragma once
// The two faults the TOML parser names least plainly, found anywhere in the text: a byte that is
// not UTF-8 (a TOML file must be) and values nested deeper than any device list needs (the
// parser refuses them too, see host/device_list_toml.h). Asked only once the parser has failed.
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
