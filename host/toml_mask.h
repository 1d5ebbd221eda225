#pragma once
// toml++ 3.3 asks of a character outside a string whether it is whitespace, and for some
// characters beyond ASCII its answer reaches a branch it takes for unreachable: undefined
// behaviour. Such characters stand only in strings and comments of a valid file, but the parser
// meets them outside while it reads a faulty one. So a text that holds any is first read with each
// replaced by a private-use character, which the parser answers safely; only a text that reads
// so without a fault is read as it is (see ReadToml).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlin {

// U+00A1 to U+0499, U+2C5E to U+2FFF, U+3001 to U+3057 and U+FB26 to U+FEFE: where the parser's
// whitespace table has no answer.
bool TrapsTomlParser(char32_t codePoint);

// U+00A0, U+3000, U+FEFF and the others beyond ASCII that the parser takes for blanks.
bool TomlParserBlank(char32_t codePoint);

// A character c stands masked as c + kTomlMaskOffset.
inline constexpr char32_t kTomlMaskOffset = 0xF0000;

struct MaskedToml {
  std::string text;  // each such character masked: as many characters and lines, other bytes
  // A private-use character of the text that could be taken for a mask, and its line; or 0.
  char32_t clash;
  std::uint32_t clashLine;
};

// Nothing when the text (valid UTF-8) holds no such character.
std::optional<MaskedToml> MaskForTomlParser(std::string_view text);

// A text of the masked reading (a parser's message) with each mask turned back.
std::string Unmasked(std::string_view text);

}  // namespace marlin
