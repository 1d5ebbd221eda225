#include "com/win32_windows.h"

#include "com/this_module.h"
#include "com/wide_text.h"
#include "com/win32_timer.h"
#include "com/win32_wait_window.h"
#include "driver/marlin_error.h"

namespace marlin::com {

std::unique_ptr<WaitWindowView> Win32Windows::CreateWaitWindow(const WaitWindowLayout& layout,
                                                               WaitWindowEvents& events) {
  return std::make_unique<Win32WaitWindow>(layout, events);
}

// The style is the host's message-box style, whose bits are those of MessageBoxW.
void Win32Windows::ShowMessageBox(const std::string& text, const std::string& title,
                                  std::int32_t style) {
  const UINT type = static_cast<UINT>(style) | MB_SETFOREGROUND;
  if (MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(title).c_str(), type) == 0) {
    throw MarlinError(errors::kInternal,
                      "Cannot show a message box: " + SystemMessage(GetLastError()));
  }
}

std::unique_ptr<HostTimer> Win32Windows::CreateTimer(std::function<void()> tick) {
  return std::make_unique<Win32Timer>(clock_, std::move(tick));
}

}  // namespace marlin::com
