#include "com/server_settings.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <optional>

#include "com/this_module.h"
#include "com/wide_text.h"
#include "driver/marlin_error.h"

namespace marlin::com {
namespace {

std::string RegistryName(const ServerSetting& setting) {
  return "HKEY_CURRENT_USER\\" + Narrow(kSettingsKey) + "\\" + Narrow(setting.valueName);
}

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

// Asking for REG_SZ also takes REG_EXPAND_SZ values, with their %VARIABLES% expanded.
std::optional<std::wstring> FromRegistry(const ServerSetting& setting) {
  constexpr DWORD kText = RRF_RT_REG_SZ;
  DWORD bytes = 0;
  LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, setting.valueName, kText, nullptr,
                                nullptr, &bytes);
  std::wstring value;
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    value.resize(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, setting.valueName, kText, nullptr,
                          value.data(), &bytes);
    if (status == ERROR_SUCCESS) {
      value.resize(wcsnlen(value.c_str(), value.size()));
      if (value.empty()) return std::nullopt;
      return value;
    }
  }
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status == ERROR_UNSUPPORTED_TYPE) {
    throw MarlinError(errors::kInvalidArgument,
                      RegistryName(setting) + " must be a text value (REG_SZ or REG_EXPAND_SZ)");
  }
  throw MarlinError(errors::kFileAccess, "Cannot read " + RegistryName(setting) + ": " +
                                             SystemMessage(static_cast<DWORD>(status)));
}

struct Found {
  std::wstring value;
  std::string origin;  // the variable or registry value it came from, for error texts
};

std::optional<Found> Lookup(const ServerSetting& setting) {
  if (auto value = FromEnvironment(setting)) return Found{*value, setting.variable};
  if (auto value = FromRegistry(setting)) return Found{*value, RegistryName(setting)};
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
