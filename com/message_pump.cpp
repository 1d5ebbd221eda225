#include "com/message_pump.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace marlin::com {
namespace {

// False once WM_QUIT was taken off the queue; its exit code goes to `quitCode`.
bool DispatchPending(std::optional<WPARAM>& quitCode) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitCode = message.wParam;
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

}  // namespace

void PumpPendingMessages() {
  std::optional<WPARAM> quitCode;
  DispatchPending(quitCode);
  if (quitCode) PostQuitMessage(static_cast<int>(*quitCode));
}

void PumpingWait(Clock& clock, double milliseconds) {
  const Clock::Duration span = std::isfinite(milliseconds) && milliseconds > 0
                                   ? FromMilliseconds(milliseconds)
                                   : Clock::Duration::zero();
  const Clock::Duration end = clock.Now() + span;
  std::optional<WPARAM> quitCode;
  bool pumping = true;
  for (;;) {
    if (pumping) pumping = DispatchPending(quitCode);
    const Clock::Duration left = end - clock.Now();
    if (left <= Clock::Duration::zero()) break;
    const double realLeft = ToMilliseconds(clock.RealSpan(left));
    if (!pumping || realLeft <= 0) {
      // A virtual clock jumps; after WM_QUIT the rest of the wait passes without dispatching.
      clock.SleepFor(left);
      continue;
    }
    const auto timeout = static_cast<DWORD>(std::clamp(std::ceil(realLeft), 1.0, 3.6e6));
    MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  if (pumping) DispatchPending(quitCode);
  if (quitCode) PostQuitMessage(static_cast<int>(*quitCode));
}

}  // namespace marlin::com
