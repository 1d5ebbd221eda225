#include "com/server_settings.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <optional>

#include "com/this_module.h"
#include "com/wide_text.h"
#include "driver/marlin_error.h"
#include "platform/user_setting.h"

namespace marlin::com {
namespace {

std::optional<std::wstring> FromEnvironment(const ServerSetting& setting) {
  const std::wstring name = Widen(setting.variable);
  const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), needed);
  value.resize(length);
  if (value.empty()) return std::nullopt;
  return value;
}

std::optional<std::wstring> FromRegistry(const ServerSetting& setting) {
  try {
    return platform::UserSettingText(setting.valueName);
  } catch (const platform::UserSettingError& failure) {
    if (failure.notText) throw MarlinError(errors::kInvalidArgument, failure.what());
    // A host shows the system's own words for a registry it cannot read.
    throw MarlinError(errors::kFileAccess, "Cannot read " +
                                               platform::UserSettingName(setting.valueName) + ": " +
                                               SystemMessage(static_cast<DWORD>(failure.code)));
  }
}

struct Found {
  std::wstring value;
  std::string origin;  // the variable or registry value it came from, for error texts
};

std::optional<Found> Lookup(const ServerSetting& setting) {
  if (auto value = FromEnvironment(setting)) return Found{*value, setting.variable};
  if (auto value = FromRegistry(setting))
    return Found{*value, platform::UserSettingName(setting.valueName)};
  return std::nullopt;
}

double ParseTimeScale(const Found& found) {
  const std::string text = Narrow(found.value);
  double scale = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(scale) ||
      scale <= 0) {
    throw MarlinError(errors::kInvalidArgument,
                      found.origin + " \"" + text + "\" must be a number above 0");
  }
  return scale;
}

}  // namespace

ServerSettings ReadServerSettings() {
  ServerSettings settings;
  if (auto found = Lookup(kDeviceListSetting)) settings.deviceList = found->value;
  if (auto found = Lookup(kTraceSetting)) settings.traceFile = found->value;
  if (auto found = Lookup(kTimeScaleSetting)) settings.timeScale = ParseTimeScale(*found);
  return settings;
}

}  // namespace marlin::com
