#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace marlin {

// The number a text begins with: blanks, tabs and line feeds are skipped wherever they stand,
// then an optional sign, digits with at most one "." and an optional exponent; 0 when the text
// does not begin with a number. "." is the decimal point whatever the locale.
double LeadingNumber(std::string_view text);

// The runtime's conversion of a text to a 32-bit integer: surrounding blanks allowed, fractions
// rounded half to even; raises 13 (type mismatch) for a text that is not a number and 6
// (overflow) outside the 32-bit range.
std::int32_t TextToInt32(std::string_view text);

// A whole number answered by the instrument: an optional sign and digits, surrounded by blanks and
// followed by the line terminator and the fill characters a transport leaves (NUL, space).
// Raises 13 for any other text and 6 outside the 32-bit range.
std::int32_t AnswerToWholeNumber(std::string_view answer);

// A whole number written as plain decimal ("-" for negatives, no spaces).
std::string Decimal(std::int64_t value);

// An answer as the transport hands it back, without what its route leaves after the text: the
// trailing CR, LF, NUL and spaces (LAN: nothing; VISA: "\n" and NUL fill; GPIB: "\n" and
// space padding). Every comparison of an answer's text goes through this.
std::string_view AnswerText(std::string_view answer);

// A text with leading and trailing spaces (only spaces) removed.
std::string_view TrimSpaces(std::string_view text);

}  // namespace marlin
