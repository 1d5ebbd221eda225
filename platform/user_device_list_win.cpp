#include "platform/user_device_list.h"

#include "platform/user_setting.h"

namespace marlin::platform {
namespace {

constexpr const wchar_t* kDeviceListValue = L"DeviceList";
constexpr const char* kAppDataVariable = "APPDATA";
constexpr const char* kRelativePath = "Marlin\\devices.toml";

}  // namespace

std::optional<UserDeviceList> DefaultDeviceList(const EnvironmentLookup& environment,
                                                std::string& why) {
  const std::string settingName = UserSettingName(kDeviceListValue);
  if (auto setting = UserSettingText(kDeviceListValue))
    return UserDeviceList{*setting, settingName};
  std::optional<std::string> appData = environment(kAppDataVariable);
  if (appData && !appData->empty()) {
    return UserDeviceList{std::filesystem::path(*appData) / kRelativePath,
                          std::string("the default under %") + kAppDataVariable + "%"};
  }
  why = "neither " + settingName + " nor %" + kAppDataVariable + "% is set, so there is no default";
  return std::nullopt;
}

}  // namespace marlin::platform
