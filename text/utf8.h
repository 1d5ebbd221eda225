#pragma once
// UTF-8 as the files and lines we write need it. One rule for bytes that are not UTF-8: each of
// them becomes U+FFFD, so the output is always valid and a reader sees how many bytes were lost.
#include <cstddef>
#include <string>
#include <string_view>

namespace marlin::text {

inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at `at` (1 for ASCII), 0 when there is none: a stray
// continuation byte, an overlong form, a surrogate, a code point above U+10FFFF or a cut sequence.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

bool IsValidUtf8(std::string_view text);

// The code point of the valid sequence of `length` bytes at `at` (see Utf8SequenceLength).
char32_t CodePointAt(std::string_view text, std::size_t at, std::size_t length);
// Appends a code point up to U+10FFFF (not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// `text` with each byte that is not part of a valid sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace marlin::text
