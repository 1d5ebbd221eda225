#include "clock/clock.h"

#include <stdexcept>
#include <thread>

namespace marlin {

RealClock::RealClock(double scale) : scale_(scale), start_(std::chrono::steady_clock::now()) {
  if (!(scale > 0)) throw std::invalid_argument("time scale must be greater than 0");
}

Clock::Duration RealClock::Now() const {
  auto real = std::chrono::steady_clock::now() - start_;
  return std::chrono::duration_cast<Duration>(
      std::chrono::duration<double, std::nano>(static_cast<double>(real.count()) * scale_));
}

void RealClock::SleepFor(Duration span) {
  if (span > Duration::zero()) std::this_thread::sleep_for(RealSpan(span));
}

Clock::Duration RealClock::RealSpan(Duration span) const {
  return std::chrono::duration_cast<Duration>(
      std::chrono::duration<double, std::nano>(static_cast<double>(span.count()) / scale_));
}

}  // namespace marlin
