#include "com/win32_timer.h"

#include <algorithm>
#include <cmath>

#include "com/this_module.h"
#include "driver/marlin_error.h"

namespace marlin::com {
namespace {
constexpr UINT_PTR kTimerId = 1;
}  // namespace

Win32Timer::Win32Timer(const Clock& clock, std::function<void()> tick)
    : clock_(clock), tick_(std::move(tick)) {
  EnsureWindowClass(kClassName, &Procedure);
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                            nullptr);
  if (!window_) {
    throw MarlinError(errors::kInternal,
                      "Cannot create a timer window: " + SystemMessage(GetLastError()));
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Timer::~Win32Timer() {
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  if (running_) KillTimer(window_, kTimerId);
  DestroyWindow(window_);
}

// A negative interval is refused; 0 stops the ticks without disabling the timer, as a form's
// timer control does.
void Win32Timer::SetInterval(std::int32_t milliseconds) {
  if (milliseconds < 0) throw MarlinError(errors::kInvalidPropertyValue, "Invalid property value");
  interval_ = milliseconds;
  Restart();
}

void Win32Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Restart();
}

void Win32Timer::Restart() {
  if (running_) {
    KillTimer(window_, kTimerId);
    running_ = false;
  }
  if (!enabled_ || interval_ == 0) return;
  const double real =
      ToMilliseconds(clock_.RealSpan(FromMilliseconds(static_cast<double>(interval_))));
  realPeriod_ = static_cast<UINT>(std::max<double>(USER_TIMER_MINIMUM, std::round(real)));
  if (!SetTimer(window_, kTimerId, realPeriod_, nullptr)) {
    throw MarlinError(errors::kInternal, "Cannot start a timer: " + SystemMessage(GetLastError()));
  }
  running_ = true;
}

LRESULT CALLBACK Win32Timer::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTimerId) {
    auto* self = reinterpret_cast<Win32Timer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      // A copy: the tick may drop the timer that runs it.
      auto tick = self->tick_;
      try {
        tick();
      } catch (...) {
        // Timer handlers ignore their errors.
      }
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace marlin::com
