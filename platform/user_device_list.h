#pragma once
// The device list a user's programs share when neither an option nor MARLIN_DEVICES names one:
// $XDG_CONFIG_HOME/marlin/devices.toml or ~/.config/marlin/devices.toml; on Windows the value
// DeviceList under HKEY_CURRENT_USER\Software\Marlin (the COM server's setting), else
// %APPDATA%\Marlin\devices.toml.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace marlin::platform {

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

struct UserDeviceList {
  std::filesystem::path path;
  std::string origin;  // how it was found, for messages
};

// Nothing when no default can be formed; `why` then says what is missing. Throws
// std::runtime_error for a setting that is there but unusable.
std::optional<UserDeviceList> DefaultDeviceList(const EnvironmentLookup& environment,
                                                std::string& why);

}  // namespace marlin::platform
