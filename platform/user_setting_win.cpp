#include "platform/user_setting.h"

#include <windows.h>

namespace marlin::platform {

std::string UserSettingName(const wchar_t* valueName) {
  std::string name = "HKEY_CURRENT_USER\\";
  // The key and the value names are ASCII.
  for (const wchar_t* part : {kUserSettingsKey, L"\\", valueName}) {
    for (const wchar_t* c = part; *c != L'\0'; ++c) name += static_cast<char>(*c);
  }
  return name;
}

std::optional<std::wstring> UserSettingText(const wchar_t* valueName) {
  constexpr DWORD kText = RRF_RT_REG_SZ;
  DWORD bytes = 0;
  LSTATUS status =
      RegGetValueW(HKEY_CURRENT_USER, kUserSettingsKey, valueName, kText, nullptr, nullptr, &bytes);
  std::wstring value;
  // The value may grow between the two calls: ask again with the size it reports.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    value.resize(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    status = RegGetValueW(HKEY_CURRENT_USER, kUserSettingsKey, valueName, kText, nullptr,
                          value.data(), &bytes);
    if (status == ERROR_SUCCESS) {
      value.resize(wcsnlen(value.c_str(), value.size()));
      if (value.empty()) return std::nullopt;
      return value;
    }
  }
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status == ERROR_UNSUPPORTED_TYPE) {
    throw UserSettingError(
        UserSettingName(valueName) + " must be a text value (REG_SZ or REG_EXPAND_SZ)", true,
        status);
  }
  throw UserSettingError(
      "cannot read " + UserSettingName(valueName) + " (error " + std::to_string(status) + ")",
      false, status);
}

}  // namespace marlin::platform
