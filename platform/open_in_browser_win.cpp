#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include "platform/open_in_browser.h"

namespace marlin::platform {

// The shell opens an http address with the browser the user chose. A result above 32 is
// success, by the function's old convention.
bool OpenInBrowser(const std::string& url) {
  const std::wstring wide(url.begin(), url.end());  // the panel's address is ASCII
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

}  // namespace marlin::platform
