#pragma once
// HostTools of the stand-alone host: frequency limits from the device list's [host] table, the
// range test, and the wait on the shared clock, which also delivers this thread's timer ticks.
#include <memory>

#include "driver/host_services.h"
#include "host/device_list_file.h"
#include "host/timer_queue.h"

namespace marlin {

// Longer waits are refused: no caller means one, and the clock could not represent much more.
inline constexpr double kLongestWaitMs = 24.0 * 3600 * 1000;

class StandaloneTools final : public HostTools {
 public:
  // Without a device list file the limits are the defaults of HostSettings.
  StandaloneTools(std::shared_ptr<DeviceListFile> file, std::shared_ptr<TimerQueue> timers);

  double LowestFrequency() override;
  double HighestFrequency() override;
  bool IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) override;
  // Returns once the clock has advanced by `milliseconds` (a real clock scaled by F makes that
  // milliseconds / F of real time), delivering timer ticks as they fall due.
  void Wait(float milliseconds) override;

 private:
  HostSettings Settings();

  std::shared_ptr<DeviceListFile> file_;
  std::shared_ptr<TimerQueue> timers_;
};

}  // namespace marlin
