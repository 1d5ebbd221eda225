#pragma once
// Error numbers raised by the stand-alone host services. Runtime numbers where the runtime has
// one; the rest in a block of our own.
#include <cstdint>

namespace marlin::host_errors {
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileAccess = 75;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
inline constexpr std::int32_t kBadDeviceList = 5301;
inline constexpr std::int32_t kUnknownDevice = 5302;
inline constexpr std::int32_t kNotConfigured = 5303;
inline constexpr std::int32_t kUnknownText = 5304;
}  // namespace marlin::host_errors
