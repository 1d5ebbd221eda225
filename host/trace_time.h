#pragma once
// The time written into each trace record: UTC, ISO 8601 with microseconds.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "clock/clock.h"

namespace marlin {

using TraceStamp = std::function<std::string()>;

// "2026-12-08T14:03:07.123456Z": cut (not rounded) to the microsecond, so a time never reads
// later than it was.
std::string Iso8601Utc(std::chrono::system_clock::time_point time);

// Times on the host's clock: `epoch` plus what the clock has run. A scaled clock's times run
// as fast as its waits, so a record's time agrees with the limits and pauses the driver ran to.
TraceStamp ClockStamp(std::shared_ptr<Clock> clock, std::chrono::system_clock::time_point epoch);

// The epoch that makes the clock's time read as the wall time now; for a virtual clock the Unix
// epoch, so that its times are deterministic and plainly not wall times.
std::chrono::system_clock::time_point TraceEpochFor(const Clock& clock);

// The wall time, for a trace file that is given no clock.
std::string WallClockStamp();

}  // namespace marlin
