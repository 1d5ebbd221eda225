#include <gtest/gtest.h>

#include <chrono>

#include "host/trace_time.h"

namespace marlin::testing {
namespace {

using namespace std::chrono;

struct TimeCase {
  const char* what;
  system_clock::time_point time;
  const char* text;
};

system_clock::time_point At(sys_days day, system_clock::duration into = {}) {
  return system_clock::time_point(day) + into;
}

TEST(TraceTime, WritesUtcWithMicrosecondsCutNotRounded) {
  const TimeCase cases[] = {
      {"the epoch", At(sys_days(1970y / 1 / 1)), "1970-01-01T00:00:00.000000Z"},
      {"microseconds with leading zeros",
       At(sys_days(2026y / 12 / 8), hours(14) + minutes(3) + seconds(7) + microseconds(123)),
       "2026-12-08T14:03:07.000123Z"},
      {"a nanosecond short of the next microsecond is cut",
       At(sys_days(2026y / 12 / 8), microseconds(123457) - nanoseconds(1)),
       "2026-12-08T00:00:00.123456Z"},
      {"the last microsecond of a year", At(sys_days(2026y / 12 / 31), hours(24) - microseconds(1)),
       "2026-12-31T23:59:59.999999Z"},
      {"one microsecond later is the next year", At(sys_days(2026y / 12 / 31), hours(24)),
       "2027-01-01T00:00:00.000000Z"},
      {"a leap day", At(sys_days(2028y / 2 / 29), hours(23) + minutes(59) + seconds(59)),
       "2028-02-29T23:59:59.000000Z"},
      {"before the epoch, still counted forwards within the second",
       At(sys_days(1970y / 1 / 1), -microseconds(1)), "1969-12-31T23:59:59.999999Z"},
  };
  for (const TimeCase& c : cases) EXPECT_EQ(Iso8601Utc(c.time), c.text) << c.what;
}

TEST(TraceTime, FollowsTheHostClockFromItsEpoch) {
  auto clock = std::make_shared<VirtualClock>();
  const TraceStamp stamp = ClockStamp(clock, TraceEpochFor(*clock));
  EXPECT_EQ(stamp(), "1970-01-01T00:00:00.000000Z");
  clock->Advance(seconds(30) + microseconds(5));
  EXPECT_EQ(stamp(), "1970-01-01T00:00:30.000005Z");

  // A real clock reads as the wall time from its start, whatever it ran before.
  auto real = std::make_shared<RealClock>(1000.0);
  const auto before = floor<microseconds>(system_clock::now());
  const std::string now = ClockStamp(real, TraceEpochFor(*real))();
  EXPECT_GE(now, Iso8601Utc(before));
  EXPECT_EQ(now.substr(0, 4), Iso8601Utc(before).substr(0, 4));
}

}  // namespace
}  // namespace marlin::testing
