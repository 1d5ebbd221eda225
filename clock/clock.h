#pragma once
// The time base of every wait: real (optionally scaled) in a running host, virtual in tests.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace marlin {

class Clock {
 public:
  using Duration = std::chrono::nanoseconds;
  virtual ~Clock() = default;
  // Time elapsed on this clock since its start.
  virtual Duration Now() const = 0;
  // Returns once Now() has advanced by `span`.
  virtual void SleepFor(Duration span) = 0;
  // Real time that passes while this clock advances by `span` (0 for a virtual clock); lets
  // real waits (socket timeouts) follow the clock's scale.
  virtual Duration RealSpan(Duration span) const = 0;
};

// Real time, running `scale` times faster: a wait of N ms lasts N / scale real ms.
class RealClock final : public Clock {
 public:
  explicit RealClock(double scale = 1.0);
  Duration Now() const override;
  void SleepFor(Duration span) override;
  Duration RealSpan(Duration span) const override;
  double Scale() const { return scale_; }

 private:
  double scale_;
  std::chrono::steady_clock::time_point start_;
};

// Advances only when someone sleeps on it or advances it: a 30 s wait takes no real time.
class VirtualClock final : public Clock {
 public:
  Duration Now() const override { return Duration(now_.load()); }
  void SleepFor(Duration span) override { Advance(span); }
  Duration RealSpan(Duration) const override { return Duration::zero(); }
  void Advance(Duration span) { now_.fetch_add(span.count()); }

 private:
  std::atomic<std::int64_t> now_{0};
};

inline double ToMilliseconds(Clock::Duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}
inline Clock::Duration FromMilliseconds(double ms) {
  return std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace marlin
