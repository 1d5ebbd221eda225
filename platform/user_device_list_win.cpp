#include <windows.h>

#include <stdexcept>

#include "platform/user_device_list.h"

namespace marlin::platform {
namespace {

constexpr const wchar_t* kSettingsKey = L"Software\\Marlin";
constexpr const wchar_t* kDeviceListValue = L"DeviceList";
constexpr const char* kSettingName = "HKEY_CURRENT_USER\\Software\\Marlin\\DeviceList";
constexpr const char* kAppDataVariable = "APPDATA";
constexpr const char* kRelativePath = "Marlin\\devices.toml";

// The text value, %VARIABLES% of a REG_EXPAND_SZ value expanded; nothing when it is absent or
// empty.
std::optional<std::wstring> SettingText() {
  constexpr DWORD kText = RRF_RT_REG_SZ;
  DWORD bytes = 0;
  LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kDeviceListValue, kText, nullptr,
                                nullptr, &bytes);
  std::wstring value;
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    value.resize(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kDeviceListValue, kText, nullptr,
                          value.data(), &bytes);
    if (status == ERROR_SUCCESS) {
      value.resize(wcsnlen(value.c_str(), value.size()));
      if (value.empty()) return std::nullopt;
      return value;
    }
  }
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status == ERROR_UNSUPPORTED_TYPE) {
    throw std::runtime_error(std::string(kSettingName) +
                             " must be a text value (REG_SZ or REG_EXPAND_SZ)");
  }
  throw std::runtime_error(std::string("cannot read ") + kSettingName + " (error " +
                           std::to_string(status) + ")");
}

}  // namespace

std::optional<UserDeviceList> DefaultDeviceList(const EnvironmentLookup& environment,
                                                std::string& why) {
  if (auto setting = SettingText()) return UserDeviceList{*setting, kSettingName};
  std::optional<std::string> appData = environment(kAppDataVariable);
  if (appData && !appData->empty()) {
    return UserDeviceList{std::filesystem::path(*appData) / kRelativePath,
                          std::string("the default under %") + kAppDataVariable + "%"};
  }
  why = std::string("neither ") + kSettingName + " nor %" + kAppDataVariable +
        "% is set, so there is no default";
  return std::nullopt;
}

}  // namespace marlin::platform
