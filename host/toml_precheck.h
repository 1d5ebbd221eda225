#pragma once
// Faults the TOML parser names least plainly or must not meet, found anywhere in the text: a byte
// that is not UTF-8 (a TOML file must be), values nested deeper than any device list needs (the
// parser refuses them too, see host/device_list_toml.h), a character beyond ASCII outside strings
// and comments, and one the parser cannot be asked about after a backslash in a multi-line string
// (host/toml_mask.h). Text that is all ASCII can hold only the nesting fault, so the parser reads
// it first and the check runs only when it fails.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlin {

inline constexpr int kDeepestNesting = 32;
// The parser skips it at the start of a text.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct PrecheckFault {
  std::uint32_t line;
  std::string reason;
};

std::optional<PrecheckFault> PrecheckToml(std::string_view text);

// "U+00E4".
std::string CodePointName(char32_t codePoint);

}  // namespace marlin
