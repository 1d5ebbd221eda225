#pragma once
// Texts that came from an instrument or a file, made safe to show on a terminal: an escape
// sequence in an identification string must not retitle or clear the operator's screen.
#include <cstddef>
#include <string>
#include <string_view>

namespace marlin {

// Longest text quoted whole in a message; longer ones are cut.
inline constexpr std::size_t kLongestQuoted = 200;

// Control characters (C0, DEL, and C1 written in UTF-8) become \xNN or \u00NN, bytes that are not
// valid UTF-8 become \xNN; everything else is kept. Cut after `longest` bytes of `text`, marked
// by "...".
std::string Printable(std::string_view text, std::size_t longest = std::string_view::npos);

// At most `longest` bytes of `text` (never splitting a UTF-8 character), "..." marking a cut.
std::string Capped(std::string_view text, std::size_t longest = kLongestQuoted);

}  // namespace marlin
