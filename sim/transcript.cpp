#include "sim/transcript.h"

#include <cstdio>

#include "text/json_writer.h"

namespace marlin::sim {

namespace {

std::string_view DirectionName(Direction direction) {
  switch (direction) {
    case Direction::Received:
      return "in";
    case Direction::Sent:
      return "out";
    case Direction::Event:
      return "event";
  }
  return "event";
}

}  // namespace

std::string ToJsonLine(const TranscriptEntry& entry) {
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", ToMilliseconds(entry.time));
  text::JsonObject line;
  line.Json("t_ms", time)
      .Text("peer", entry.peer)
      .Text("dir", DirectionName(entry.direction))
      .Text("text", entry.text);
  if (!entry.terminated) line.Boolean("terminated", false);
  return line.Line();
}

void Transcript::Add(TranscriptEntry entry) {
  std::lock_guard lock(mutex_);
  if (sink_) sink_(entry);
  if (capacity_ == 0) return;
  if (entries_.size() == capacity_) entries_.pop_front();
  entries_.push_back(std::move(entry));
}

std::vector<TranscriptEntry> Transcript::Entries() const {
  std::lock_guard lock(mutex_);
  return {entries_.begin(), entries_.end()};
}

std::string Transcript::JsonLines() const {
  std::lock_guard lock(mutex_);
  std::string lines;
  for (const auto& entry : entries_) lines += ToJsonLine(entry) + "\n";
  return lines;
}

void Transcript::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

void Transcript::SetSink(TranscriptSink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

}  // namespace marlin::sim
