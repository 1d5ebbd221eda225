#include "sim/error_queue.h"

#include <string>

#include "sim/scpi_texts.h"

namespace marlin::sim {

void ErrorQueue::Push(ErrorEntry entry) {
  if (entries_.size() < depth_) {
    entries_.push_back(std::move(entry));
    return;
  }
  entries_.back() = scpi_error::kQueueOverflow;
}

void ErrorQueue::Push(const ErrorEntry& entry, std::string_view detail) {
  Push(ErrorEntry{entry.code, entry.text + ";" + std::string(detail)});
}

ErrorEntry ErrorQueue::Pop() {
  if (entries_.empty()) return scpi_error::kNone;
  ErrorEntry oldest = std::move(entries_.front());
  entries_.pop_front();
  return oldest;
}

std::string FormatErrorAnswer(const ErrorEntry& entry) {
  // A quote inside an SCPI string is doubled.
  std::string quoted;
  for (char c : entry.text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return std::to_string(entry.code) + ",\"" + quoted + "\"";
}

}  // namespace marlin::sim
