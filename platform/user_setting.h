#pragma once
// Windows only: the text values under HKEY_CURRENT_USER\Software\Marlin, where the COM server and
// the programs both take their per-user settings.
#include <optional>
#include <stdexcept>
#include <string>

namespace marlin::platform {

inline constexpr const wchar_t* kUserSettingsKey = L"Software\\Marlin";

struct UserSettingError : std::runtime_error {
  UserSettingError(const std::string& text, bool wrongType, long status)
      : std::runtime_error(text), notText(wrongType), code(status) {}
  bool notText;  // the value is there but is not REG_SZ or REG_EXPAND_SZ
  long code;     // the registry's status when it could not be read
};

// "HKEY_CURRENT_USER\Software\Marlin\<valueName>", for messages.
std::string UserSettingName(const wchar_t* valueName);

// The value's text, %VARIABLES% of a REG_EXPAND_SZ value expanded; nothing when it is absent or
// empty. Throws UserSettingError when it is not text or cannot be read.
std::optional<std::wstring> UserSettingText(const wchar_t* valueName);

}  // namespace marlin::platform
