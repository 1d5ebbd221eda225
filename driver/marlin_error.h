#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace marlin {

// A failure of the driver or of a host service: a number and a description, as the host
// reads them back from a failed call.
class MarlinError : public std::runtime_error {
 public:
  MarlinError(std::int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  std::int32_t Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

// Error numbers of the runtime and of the driver itself.
namespace errors {
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternal = 51;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileAccess = 75;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr std::int32_t kNotImplemented = 445;
inline constexpr std::int32_t kEntryPointNotFound = 453;
inline constexpr std::int32_t kGpibGiveUp = 4012;
inline constexpr std::int32_t kTransport = 4040;
inline constexpr std::int32_t kBandActivation = 4081;
inline constexpr std::int32_t kVisaOpen = 4200;
}  // namespace errors

// Turns whatever was thrown into the error the host will see.
MarlinError CurrentError();

}  // namespace marlin
