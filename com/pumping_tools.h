#pragma once
// HostTools of the server: the stand-alone ones, with a wait that dispatches the thread's window
// messages, so that the wait window's "STOP" and the timers work while the driver waits.
#include <memory>

#include "clock/clock.h"
#include "driver/host_services.h"

namespace marlin::com {

class PumpingTools final : public HostTools {
 public:
  PumpingTools(std::unique_ptr<HostTools> standalone, std::shared_ptr<Clock> clock)
      : standalone_(std::move(standalone)), clock_(std::move(clock)) {}

  double LowestFrequency() override { return standalone_->LowestFrequency(); }
  double HighestFrequency() override { return standalone_->HighestFrequency(); }
  bool IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) override {
    return standalone_->IsBetween(low, value, high);
  }
  // Raises 5 for a wait that is negative, not a number or longer than a day.
  void Wait(float milliseconds) override;

 private:
  std::unique_ptr<HostTools> standalone_;
  std::shared_ptr<Clock> clock_;
};

}  // namespace marlin::com
