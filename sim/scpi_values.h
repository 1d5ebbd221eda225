#pragma once
// Parameter forms the amplifier accepts, shared by its commands and its configuration.
#include <optional>
#include <string>
#include <string_view>

namespace marlin::sim {

// ON, OFF, 1 or 0, any letter case.
std::optional<bool> ParseBoolean(std::string_view text);
// An optional sign and decimal digits, nothing else.
std::optional<long> ParseInteger(std::string_view text);
// A LAN timeout: 1 to 3 digits and a unit S, M, H or D ("1D", "30m"); the canonical upper-case
// form, or nullopt.
std::optional<std::string> NormalizeLanTimeout(std::string_view text);
// Printable ASCII without the characters that would break an answer (",", ";", quotes).
bool IsAnswerSafe(std::string_view text);
// A firmware version: digits separated by single dots ("2.20", "3.3").
bool IsVersion(std::string_view text);
// The leading number of a version ("3.3" -> 3.3).
double VersionNumber(std::string_view text);

}  // namespace marlin::sim
