#pragma once
// The device list: which amplifiers exist and how each is reached, the GPIB backend of each
// board and the host's frequency limits. Kept in a TOML file whose keys marlinctl, the COM
// server, the simulator's examples and the tests share:
//
//   [host]
//   lowest_frequency = 80e6      # Hz
//   highest_frequency = 6e9
//   [gpib]
//   board0 = "sim:PA4415"
//   [devices.AMP1]
//   interface = 50               # 10..13 GPIB board 0..3, 50 LAN socket, 60 VISA raw socket
//   address = 7
//   lan_address = "192.0.2.10:5025"
//   visa_resource = "TCPIP0::192.0.2.10::5025::SOCKET"
//   description = "Amplifier 80 MHz - 6 GHz"
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

namespace marlin {

namespace device_keys {
inline constexpr const char* kHost = "host";
inline constexpr const char* kGpib = "gpib";
inline constexpr const char* kDevices = "devices";
inline constexpr const char* kLowestFrequency = "lowest_frequency";
inline constexpr const char* kHighestFrequency = "highest_frequency";
inline constexpr const char* kBoardPrefix = "board";
inline constexpr const char* kInterface = "interface";
inline constexpr const char* kAddress = "address";
inline constexpr const char* kLanAddress = "lan_address";
inline constexpr const char* kVisaResource = "visa_resource";
inline constexpr const char* kDescription = "description";
}  // namespace device_keys

// A key the file leaves out reads as a host's device list answers it: 0 or the empty text.
struct DeviceEntry {
  std::int32_t interfaceCode = 0;
  std::int32_t address = 0;
  std::string lanAddress;
  std::string visaResource;
  std::string description;
  bool operator==(const DeviceEntry&) const = default;
};

struct HostSettings {
  double lowestFrequency = 80e6;
  double highestFrequency = 6e9;
  bool operator==(const HostSettings&) const = default;
};

inline constexpr int kGpibBoardCount = 4;
// Larger files are refused rather than read without bound.
inline constexpr std::size_t kLargestDeviceList = std::size_t{8} << 20;

struct DeviceList {
  std::map<std::string, DeviceEntry> devices;
  HostSettings host;
  std::map<int, std::string> gpibBackends;  // board number 0..3 -> backend text
  bool operator==(const DeviceList&) const = default;
};

// Raises host_errors::kBadDeviceList naming the file, the line and the key for a malformed file,
// a key of the wrong type, an unknown key or a value out of range.
DeviceList ParseDeviceList(std::string_view text, const std::string& fileName);

// Raises host_errors::kUnknownDevice naming the device and the file.
[[noreturn]] void UnknownDeviceError(const std::string& device, const std::string& fileName);

// A key path as it would be written in the file: devices."My amp".interface
std::string KeyPath(std::initializer_list<std::string_view> segments);

}  // namespace marlin
