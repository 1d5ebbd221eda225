#include "platform/user_device_list.h"

namespace marlin::platform {
namespace {

constexpr const char* kConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* kHomeVariable = "HOME";
constexpr const char* kDefaultFolder = ".config";
constexpr const char* kRelativePath = "marlin/devices.toml";

std::optional<std::string> NonEmpty(const EnvironmentLookup& environment, const std::string& name) {
  std::optional<std::string> value = environment(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<UserDeviceList> DefaultDeviceList(const EnvironmentLookup& environment,
                                                std::string& why) {
  if (auto config = NonEmpty(environment, kConfigHomeVariable)) {
    return UserDeviceList{std::filesystem::path(*config) / kRelativePath,
                          std::string("the default under $") + kConfigHomeVariable};
  }
  if (auto home = NonEmpty(environment, kHomeVariable)) {
    return UserDeviceList{std::filesystem::path(*home) / kDefaultFolder / kRelativePath,
                          std::string("the default under $") + kHomeVariable};
  }
  why = std::string("neither ") + kConfigHomeVariable + " nor " + kHomeVariable +
        " is set, so there is no default";
  return std::nullopt;
}

}  // namespace marlin::platform
