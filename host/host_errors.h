#pragma once
// Error numbers of the stand-alone host services where the runtime has none (its own numbers
// are in driver/marlin_error.h).
#include <cstdint>

namespace marlin::host_errors {
inline constexpr std::int32_t kBadDeviceList = 5301;
inline constexpr std::int32_t kUnknownDevice = 5302;
inline constexpr std::int32_t kNotConfigured = 5303;
inline constexpr std::int32_t kUnknownText = 5304;
}  // namespace marlin::host_errors
