#pragma once
// Strings quoted for JSON and for TOML basic strings. Both take the same escapes: quote and
// backslash, \n \r \t, every other control character (C0 and DEL) as \u00XX. Bytes that are not
// UTF-8 become U+FFFD (see utf8.h), so the result is always valid JSON and valid TOML.
#include <string>
#include <string_view>

namespace marlin::text {

// The escaped contents, without the quotes.
void AppendEscaped(std::string& out, std::string_view text);

std::string JsonString(std::string_view text);
std::string TomlString(std::string_view text);

}  // namespace marlin::text
