#pragma once
// The instrument's own texts: error queue entries and fixed answers, each defined once.
#include <string_view>

#include "sim/amplifier_config.h"

namespace marlin::sim {

namespace scpi_error {
inline const ErrorEntry kNone{0, "No error"};
inline const ErrorEntry kSyntax{-102, "Syntax error"};
inline const ErrorEntry kDataType{-104, "Data type error"};
inline const ErrorEntry kParameterNotAllowed{-108, "Parameter not allowed"};
inline const ErrorEntry kMissingParameter{-109, "Missing parameter"};
inline const ErrorEntry kUndefinedHeader{-113, "Undefined header"};
inline const ErrorEntry kSuffixOutOfRange{-114, "Header suffix out of range"};
inline const ErrorEntry kSettingsConflict{-221, "Settings conflict"};
inline const ErrorEntry kDataOutOfRange{-222, "Data out of range"};
inline const ErrorEntry kTooMuchData{-223, "Too much data"};
inline const ErrorEntry kIllegalValue{-224, "Illegal parameter value"};
inline const ErrorEntry kQueueOverflow{-350, "Queue overflow"};
inline const ErrorEntry kQueryInterrupted{-410, "Query INTERRUPTED"};
}  // namespace scpi_error

// Device-dependent details appended to an entry's text after ";".
namespace conflict {
inline constexpr std::string_view kPowerOff = "mains power is off";
inline constexpr std::string_view kNoBandPath = "no band path selected";
inline constexpr std::string_view kBandSwitching = "band path is switching";
inline constexpr std::string_view kFaultLatched = "amplifier fault, clear with *CLS";
inline constexpr std::string_view kLockedBy = "remote lock held by ";
}  // namespace conflict

inline constexpr std::string_view kMaker = "Quellmarkfabrik";
inline constexpr std::string_view kFirmwarePrefix = "SW:";
inline constexpr std::string_view kLockFree = "NONE";
inline constexpr std::string_view kGarbage = "\xfe\x01#?~\x7f!\x80\xc3(gArB@gE";

}  // namespace marlin::sim
