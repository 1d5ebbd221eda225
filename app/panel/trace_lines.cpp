#include "app/panel/trace_lines.h"

namespace marlin::panel {

void TraceLines::Add(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (lines_.size() >= kMostLines) lines_.pop_front();
  lines_.push_back(line);
}

std::vector<std::string> TraceLines::Copy() const {
  std::lock_guard lock(mutex_);
  return {lines_.begin(), lines_.end()};
}

}  // namespace marlin::panel
