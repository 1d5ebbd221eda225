#include "sim/transcript.h"

#include <cstdio>

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

// JSON string contents; every byte is taken as the character of the same code, so garbage
// answers survive the trip into the file byte for byte.
void AppendEscaped(std::string& out, std::string_view text) {
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", c);
          out += code;
        } else if (c < 0x80) {
          out += static_cast<char>(c);
        } else {
          out += static_cast<char>(0xc0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
  }
}

}  // namespace

std::string ToJsonLine(const TranscriptEntry& entry) {
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", ToMilliseconds(entry.time));
  std::string line = "{\"t_ms\":";
  line += time;
  line += ",\"peer\":\"";
  AppendEscaped(line, entry.peer);
  line += "\",\"dir\":\"";
  line += DirectionName(entry.direction);
  line += "\",\"text\":\"";
  AppendEscaped(line, entry.text);
  line += "\"";
  if (!entry.terminated) line += ",\"terminated\":false";
  line += "}";
  return line;
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
