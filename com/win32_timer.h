#pragma once
// A timer on a message-only window of the creating thread: its ticks arrive through that
// thread's message loop, between the host's calls. Intervals follow the host's clock scale.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "clock/clock.h"
#include "driver/host_services.h"

namespace marlin::com {

class Win32Timer final : public HostTimer {
 public:
  static constexpr const wchar_t* kClassName = L"MarlinTimerWindow";

  Win32Timer(const Clock& clock, std::function<void()> tick);
  ~Win32Timer() override;
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;

  void SetInterval(std::int32_t milliseconds) override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

  HWND Window() const { return window_; }
  // The real period of the running Win32 timer, 0 when none runs.
  UINT RealPeriod() const { return running_ ? realPeriod_ : 0; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Restart();

  const Clock& clock_;
  std::function<void()> tick_;
  std::int32_t interval_ = 0;
  bool enabled_ = false;
  bool running_ = false;
  UINT realPeriod_ = 0;
  HWND window_ = nullptr;
};

}  // namespace marlin::com
