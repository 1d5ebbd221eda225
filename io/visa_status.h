#pragma once
// VISA completion and error codes, and attribute values, as the VISA standard numbers them.
#include <cstdint>

#include "io/visa_binding.h"

namespace marlin::visa_status {

constexpr ViStatus Error(std::uint32_t code) { return static_cast<ViStatus>(code); }

inline constexpr ViStatus kSuccess = 0;
inline constexpr ViStatus kSuccessTermChar = 0x3FFF0005;
inline constexpr ViStatus kSuccessMaxCount = 0x3FFF0006;
inline constexpr ViStatus kWarningNullObject = 0x3FFF0082;
inline constexpr ViStatus kErrorSystem = Error(0xBFFF0000);
inline constexpr ViStatus kErrorInvalidObject = Error(0xBFFF000E);
inline constexpr ViStatus kErrorResourceNotFound = Error(0xBFFF0011);
inline constexpr ViStatus kErrorInvalidResourceName = Error(0xBFFF0012);
inline constexpr ViStatus kErrorInvalidAccessMode = Error(0xBFFF0013);
inline constexpr ViStatus kErrorTimeout = Error(0xBFFF0015);
inline constexpr ViStatus kErrorAttributeNotSupported = Error(0xBFFF001D);
inline constexpr ViStatus kErrorAttributeStateNotSupported = Error(0xBFFF001E);
inline constexpr ViStatus kErrorIo = Error(0xBFFF003E);
inline constexpr ViStatus kErrorNotSupportedOperation = Error(0xBFFF0067);
inline constexpr ViStatus kErrorUserBuffer = Error(0xBFFF0071);
inline constexpr ViStatus kErrorConnectionLost = Error(0xBFFF00A6);

}  // namespace marlin::visa_status

namespace marlin::visa_attr {
inline constexpr ViAttr kTcpNoDelay = 0x3FFF019A;
inline constexpr ViAttr kTcpKeepAlive = 0x3FFF019B;
inline constexpr std::uint64_t kTrue = 1;
inline constexpr std::uint64_t kFalse = 0;
inline constexpr std::uint64_t kInfiniteTimeout = 0xFFFFFFFF;
inline constexpr std::uint32_t kAllAccessModes = 0x7;  // exclusive lock, shared lock, load config
}  // namespace marlin::visa_attr
