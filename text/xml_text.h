#pragma once
// Text of any origin placed into XML, SVG or HTML.
#include <cstddef>
#include <string>
#include <string_view>

namespace marlin::text {

// Character data or an attribute value: & < > " ' escaped, control characters written as
// \xNN, each byte that is not UTF-8 replaced by U+FFFD (as are U+FFFE and U+FFFF, which XML
// forbids), cut after `most` characters with "…".
std::string XmlText(std::string_view text, std::size_t most = 300);

}  // namespace marlin::text
