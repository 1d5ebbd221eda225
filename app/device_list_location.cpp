#include "app/device_list_location.h"

#include <cstdlib>

#include "app/exit_codes.h"
#include "driver/marlin_error.h"
#include "host/device_list_file.h"
#include "host/printable_text.h"
#include "platform/user_device_list.h"

namespace marlin::cli {
namespace {

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
  std::string why;
  std::optional<platform::UserDeviceList> found;
  try {
    found = platform::DefaultDeviceList(environment, why);
  } catch (const std::runtime_error& e) {
    throw CliFailure(exit_code::kConfiguration, std::string("no device list: ") + e.what());
  }
  if (found) return {found->path, found->origin};
  throw CliFailure(exit_code::kConfiguration,
                   std::string("no device list: give --devices FILE or set ") + kDevicesVariable +
                       " (" + why + ")");
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
