#include "host/standalone_tools.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

#include "driver/marlin_error.h"

namespace marlin {

StandaloneTools::StandaloneTools(std::shared_ptr<DeviceListFile> file,
                                 std::shared_ptr<TimerQueue> timers)
    : file_(std::move(file)), timers_(std::move(timers)) {}

HostSettings StandaloneTools::Settings() { return file_ ? file_->Current().host : HostSettings{}; }

double StandaloneTools::LowestFrequency() { return Settings().lowestFrequency; }
double StandaloneTools::HighestFrequency() { return Settings().highestFrequency; }

bool StandaloneTools::IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) {
  return low <= value && value <= high;
}

void StandaloneTools::Wait(float milliseconds) {
  if (!std::isfinite(milliseconds) || milliseconds < 0 || milliseconds > kLongestWaitMs) {
    std::ostringstream text;
    text << "A wait of " << milliseconds << " ms is out of range (0 to " << kLongestWaitMs
         << " ms)";
    throw MarlinError(errors::kInvalidArgument, text.str());
  }
  Clock& clock = timers_->TimeBase();
  const Clock::Duration end = clock.Now() + FromMilliseconds(milliseconds);
  timers_->DeliverDue();
  for (Clock::Duration now = clock.Now(); now < end; now = clock.Now()) {
    Clock::Duration until = end;
    if (auto due = timers_->NextDue(); due && *due < until) until = std::max(*due, now);
    clock.SleepFor(until - now);
    timers_->DeliverDue();
  }
}

}  // namespace marlin
