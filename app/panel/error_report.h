#pragma once
// A driver error as a person reads it: the number and the innermost text first, the whole
// chain (each handler on the way up put the device's prefix before it) kept for who asks.
#include <cstdint>
#include <string>
#include <string_view>

namespace marlin::panel {

struct ErrorInfo {
  std::int32_t number = 0;
  std::string description;  // as raised, the whole chain
  std::string innermost;    // without the prefixes the handlers added
  std::string at;           // when it was raised, UTC, ISO 8601
};

ErrorInfo ErrorReport(std::int32_t number, const std::string& description,
                      const std::string& device);

// "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1Marlin Amplifier-AMP1: not connected" for AMP1
// is "not connected".
std::string InnermostText(std::string_view description, std::string_view device);

// The wall time now, UTC, ISO 8601 with milliseconds.
std::string NowText();

}  // namespace marlin::panel
