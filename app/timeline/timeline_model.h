#pragma once
// A trace read into a timeline: a lane per device (per instance where none is named), procedures
// as nested bars, the driver's waits with their limits, instrument lines, error reports and
// messages at their times.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/timeline/timeline.h"

namespace marlin::timeline {

// A position on the time axis: microseconds since the Unix epoch when every record has a time,
// else the record's number (an older trace has no times).
using Position = std::int64_t;

struct Bar {
  std::size_t lane = 0;
  int depth = 0;
  Position begin = 0, end = 0;
  std::string procedure, data;
  std::size_t line = 0;           // of its start line, from 1
  bool ended = true;              // its end line came
  bool reported = false;          // an error report came while it ran
  bool wait = false;              // one of the driver's waits
  std::string waitWhat;           // for a wait
  std::optional<Position> limit;  // for a wait whose limit is known: the span allowed
};

struct Tick {
  std::size_t lane = 0;
  Position at = 0;
  bool sent = true;  // a command or query sent; else an answer read
  std::string text;
  std::size_t line = 0;
};

// An error is one failure however many handlers reported it on its way up: `text` is what the
// first (innermost) one reported, `reports` how many did.
struct Mark {
  std::size_t lane = 0;
  Position at = 0;
  bool error = true;  // an error report; else an operator message or message box
  std::int32_t number = 0;
  std::string text;
  std::size_t line = 0;
  std::size_t reports = 1;
};

struct Lane {
  std::string instance;
  std::string group;  // the device (or named group) the lane shows; empty: a lane per instance
  int depth = 1;      // rows of bars
};

struct Timeline {
  bool timed = false;
  Position first = 0, last = 0;
  std::size_t records = 0;
  std::vector<std::size_t> malformedLines;  // from 1
  std::string firstMalformedWhy;
  std::vector<Lane> lanes;
  std::vector<Bar> bars;
  std::vector<Tick> ticks;
  std::vector<Mark> marks;
};

Timeline BuildTimeline(const std::vector<std::string>& lines);
// A lane per group; line numbers count within each group.
Timeline BuildTimeline(const std::vector<NamedLines>& groups);

// What a wait of the driver waits for and the longest it may take, from the procedure that
// waits and the state it switches to; nullopt for a procedure that is no wait.
struct WaitDescription {
  std::string what;
  std::optional<std::int64_t> limitMicros;
};
std::optional<WaitDescription> DescribeWait(const std::string& procedure, const std::string& data,
                                            const std::string& targetState);

}  // namespace marlin::timeline
