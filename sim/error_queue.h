#pragma once
// The SCPI error queue: first in, first out; when full, the newest entry becomes -350.
#include <cstddef>
#include <deque>
#include <string_view>
#include <vector>

#include "sim/amplifier_config.h"

namespace marlin::sim {

class ErrorQueue {
 public:
  explicit ErrorQueue(std::size_t depth) : depth_(depth) {}
  void Push(ErrorEntry entry);
  void Push(const ErrorEntry& entry, std::string_view detail);  // text + ";" + detail
  // The oldest entry, removed; kNone when empty.
  ErrorEntry Pop();
  void Clear() { entries_.clear(); }
  bool Empty() const { return entries_.empty(); }
  std::vector<ErrorEntry> Entries() const { return {entries_.begin(), entries_.end()}; }

 private:
  std::size_t depth_;
  std::deque<ErrorEntry> entries_;
};

// code,"text" as SYST:ERR? answers it.
std::string FormatErrorAnswer(const ErrorEntry& entry);

}  // namespace marlin::sim
