#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace marlin {

// The LAN endpoint of the amplifier (type library record).
struct mgnLanPars {
  std::string RemoteHost;
  std::int32_t RemotePort = 0;
};

// The host's record of four texts: 2 identification, 3 serial, 4 LAN address; 1 never written.
struct InfoRecord {
  std::string Member1;
  std::string Member2;
  std::string Member3;
  std::string Member4;
  bool operator==(const InfoRecord&) const = default;
};

// The host's 196-byte amplifier parameter record. Only the three band members are read;
// the rest is kept as opaque bytes and copied whole.
struct AmplParamsRecord {
  std::array<std::uint8_t, 176> Head{};
  std::int32_t BandPath = 0;
  std::int32_t OutputMode = 0;
  std::int32_t OperatingClass = 0;
  std::array<std::uint8_t, 8> Tail{};
  bool operator==(const AmplParamsRecord&) const = default;
};
static_assert(sizeof(AmplParamsRecord) == 196);
static_assert(offsetof(AmplParamsRecord, BandPath) == 176);
static_assert(offsetof(AmplParamsRecord, OutputMode) == 180);
static_assert(offsetof(AmplParamsRecord, OperatingClass) == 184);

// The power states the host knows.
namespace state {
inline constexpr std::int32_t kOff = 0;
inline constexpr std::int32_t kOn = 1;
inline constexpr std::int32_t kStandby = 2;
inline constexpr std::int32_t kOperate = 3;
inline constexpr std::int32_t kFault = 4;
}  // namespace state

// Interface codes of the device list.
namespace route {
inline constexpr std::int32_t kGpibFirst = 10;
inline constexpr std::int32_t kGpibLast = 13;
inline constexpr std::int32_t kLan = 50;
inline constexpr std::int32_t kVisa = 60;
inline bool IsGpib(std::int32_t code) { return code >= kGpibFirst && code <= kGpibLast; }
}  // namespace route

// 16-bit Booleans as the host keeps them.
using VbBool = std::int16_t;
inline constexpr VbBool kTrue = -1;
inline constexpr VbBool kFalse = 0;

}  // namespace marlin
