#pragma once
// Where the server's host services take their configuration inside a host application: each
// setting from its environment variable when that is set, else from the value of the same
// meaning under HKEY_CURRENT_USER\Software\Marlin, else unset.
#include <filesystem>
#include <string>

namespace marlin::com {

struct ServerSetting {
  const char* variable;      // environment variable
  const wchar_t* valueName;  // value under HKEY_CURRENT_USER\Software\Marlin
};

inline constexpr ServerSetting kDeviceListSetting{"MARLIN_DEVICES", L"DeviceList"};
inline constexpr ServerSetting kTraceSetting{"MARLIN_TRACE", L"Trace"};
inline constexpr ServerSetting kTimeScaleSetting{"MARLIN_TIME_SCALE", L"TimeScale"};

struct ServerSettings {
  std::filesystem::path deviceList;  // empty: none
  std::filesystem::path traceFile;   // empty: no trace
  double timeScale = 1.0;
};

// Raises a clear error naming the variable or registry value that is wrong: a registry value
// that is not text, a time scale that is not a number above 0.
ServerSettings ReadServerSettings();

}  // namespace marlin::com
