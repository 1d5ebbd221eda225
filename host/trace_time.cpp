#include "host/trace_time.h"

#include <cstdio>
#include <utility>

namespace marlin {

std::string Iso8601Utc(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto micros = floor<microseconds>(time);
  const auto day = floor<days>(micros);
  const year_month_day date(day);
  const hh_mm_ss<microseconds> clock(micros - day);
  char text[40];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%06dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

TraceStamp ClockStamp(std::shared_ptr<Clock> clock, std::chrono::system_clock::time_point epoch) {
  return [clock = std::move(clock), epoch] {
    return Iso8601Utc(
        epoch + std::chrono::duration_cast<std::chrono::system_clock::duration>(clock->Now()));
  };
}

std::chrono::system_clock::time_point TraceEpochFor(const Clock& clock) {
  if (dynamic_cast<const VirtualClock*>(&clock)) return std::chrono::system_clock::time_point{};
  return std::chrono::system_clock::now() -
         std::chrono::duration_cast<std::chrono::system_clock::duration>(clock.Now());
}

std::string WallClockStamp() { return Iso8601Utc(std::chrono::system_clock::now()); }

}  // namespace marlin
