#include "app/device_list_location.h"

#include <cstdlib>

#include "app/exit_codes.h"
#include "driver/marlin_error.h"
#include "host/device_list_file.h"
#include "host/printable_text.h"

namespace marlin::cli {
namespace {

constexpr const char* kConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* kHomeVariable = "HOME";
constexpr const char* kDefaultFolder = ".config";
constexpr const char* kRelativePath = "marlin/devices.toml";
constexpr std::size_t kLongestKnownList = 1000;

std::optional<std::string> NonEmpty(const Environment& environment, const std::string& name) {
  std::optional<std::string> value = environment(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

CliFailure ConfigurationError(const DeviceListLocation& location, const std::string& why) {
  return CliFailure(exit_code::kConfiguration, why + " (device list from " + location.origin +
                                                   "; give --devices FILE or set " +
                                                   kDevicesVariable + ")");
}

}  // namespace

std::optional<std::string> ProcessEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

DeviceListLocation LocateDeviceList(const std::optional<std::string>& option,
                                    const Environment& environment) {
  if (option) return {*option, "--devices"};
  if (auto path = NonEmpty(environment, kDevicesVariable)) {
    return {*path, std::string("the environment variable ") + kDevicesVariable};
  }
  if (auto config = NonEmpty(environment, kConfigHomeVariable)) {
    return {std::filesystem::path(*config) / kRelativePath,
            std::string("the default under $") + kConfigHomeVariable};
  }
  if (auto home = NonEmpty(environment, kHomeVariable)) {
    return {std::filesystem::path(*home) / kDefaultFolder / kRelativePath,
            std::string("the default under $") + kHomeVariable};
  }
  throw CliFailure(exit_code::kConfiguration,
                   std::string("no device list: give --devices FILE or set ") + kDevicesVariable +
                       " (neither " + kConfigHomeVariable + " nor " + kHomeVariable +
                       " is set, so there is no default)");
}

void CheckDeviceList(const DeviceListLocation& location) {
  std::error_code ec;
  if (!std::filesystem::exists(location.path, ec)) {
    throw ConfigurationError(location,
                             "the device list \"" + location.path.string() + "\" does not exist");
  }
  try {
    DeviceListFile(location.path).Current();
  } catch (const MarlinError& e) {
    throw ConfigurationError(location, e.Description());
  }
}

void CheckDeviceListed(const DeviceListLocation& location, const std::string& device) {
  DeviceListFile file(location.path);
  const DeviceList& list = file.Current();
  if (list.devices.count(device) != 0) return;
  std::string known;
  for (const auto& [name, entry] : list.devices) known += (known.empty() ? "" : ", ") + name;
  throw UsageError("the device list \"" + location.path.string() + "\" has no device \"" +
                   Printable(Capped(device)) + "\"; it holds: " +
                   (known.empty() ? "no devices" : Printable(Capped(known, kLongestKnownList))));
}

}  // namespace marlin::cli
