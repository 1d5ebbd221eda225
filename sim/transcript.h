#pragma once
// What an amplifier received and sent, each line with its time on the clock.
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "clock/clock.h"

namespace marlin::sim {

enum class Direction { Received, Sent, Event };

struct TranscriptEntry {
  Clock::Duration time{};
  Direction direction = Direction::Received;
  std::string peer;        // "tcp:5025#1", "gpib:5", "local", ...
  std::string text;        // a line without its terminator, or an event ("connected", "dropped")
  bool terminated = true;  // false for an answer sent without its "\n"
};

// One JSON object: {"t_ms":2000,"peer":"tcp:5025#1","dir":"in","text":"RF:BAND:PATH 2"}.
// UTF-8 is kept; each byte that is not UTF-8 is written as U+FFFD, so every line is valid JSON.
std::string ToJsonLine(const TranscriptEntry& entry);

using TranscriptSink = std::function<void(const TranscriptEntry&)>;

// A bounded record, optionally streamed to a sink as entries arrive. Thread-safe.
class Transcript {
 public:
  explicit Transcript(std::size_t capacity) : capacity_(capacity) {}
  void Add(TranscriptEntry entry);
  std::vector<TranscriptEntry> Entries() const;
  std::string JsonLines() const;
  void Clear();
  void SetSink(TranscriptSink sink);

 private:
  mutable std::mutex mutex_;
  std::size_t capacity_;
  std::deque<TranscriptEntry> entries_;
  TranscriptSink sink_;
};

}  // namespace marlin::sim
