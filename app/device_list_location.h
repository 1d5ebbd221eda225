#pragma once
// Which device list a command uses: --devices FILE, else $MARLIN_DEVICES, else the per-user
// default (platform/user_device_list.h).
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace marlin::cli {

inline constexpr const char* kDevicesVariable = "MARLIN_DEVICES";

struct DeviceListLocation {
  std::filesystem::path path;
  std::string origin;  // how it was chosen, for messages
};

// An environment lookup; the process environment in the program, a table in tests.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
std::optional<std::string> ProcessEnvironment(const std::string& name);

// Throws a configuration CliFailure when no path can be formed (no HOME either).
DeviceListLocation LocateDeviceList(const std::optional<std::string>& option,
                                    const Environment& environment);

// Reads the list once; throws a configuration CliFailure saying where the path came from when
// the file is missing or broken.
void CheckDeviceList(const DeviceListLocation& location);

// Throws a usage CliFailure naming the devices the list holds when `device` is not one of them.
void CheckDeviceListed(const DeviceListLocation& location, const std::string& device);

}  // namespace marlin::cli
