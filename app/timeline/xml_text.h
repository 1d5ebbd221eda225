#pragma once
// Text from a trace file placed into SVG and HTML: it may hold anything.
#include <cstddef>
#include <string>
#include <string_view>

namespace marlin::timeline {

// Character data or an attribute value: & < > " ' escaped, control characters written as
// \xNN, bytes that are not UTF-8 replaced by U+FFFD, cut after `most` characters with "…".
std::string XmlText(std::string_view text, std::size_t most = 300);

}  // namespace marlin::timeline
