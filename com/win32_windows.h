#pragma once
// The windowing service of the COM server: the Win32 wait window, the message box and timers
// on message-only windows, all on the calling (host) thread.
#include <windows.h>

#include "clock/clock.h"
#include "driver/host_services.h"

namespace marlin::com {

class Win32Windows final : public HostWindows {
 public:
  explicit Win32Windows(const Clock& clock) : clock_(clock) {}

  std::unique_ptr<WaitWindowView> CreateWaitWindow(const WaitWindowLayout& layout,
                                                   WaitWindowEvents& events) override;
  void ShowMessageBox(const std::string& text, const std::string& title,
                      std::int32_t style) override;
  std::unique_ptr<HostTimer> CreateTimer(std::function<void()> tick) override;

 private:
  const Clock& clock_;
};

}  // namespace marlin::com
