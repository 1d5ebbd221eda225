#include "app/panel/trace_lines.h"

#include <algorithm>

namespace marlin::panel {

void TraceLines::Add(const std::string& device, const std::string& line) {
  std::lock_guard lock(mutex_);
  if (lines_.size() >= kMostLines) lines_.pop_front();
  lines_.push_back({device, line});
  ++added_;
}

std::vector<timeline::NamedLines> TraceLines::ByDevice() const {
  std::lock_guard lock(mutex_);
  std::vector<timeline::NamedLines> groups;
  for (const Line& line : lines_) {
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const timeline::NamedLines& g) { return g.name == line.device; });
    if (group == groups.end()) group = groups.insert(groups.end(), {line.device, {}});
    group->lines.push_back(line.text);
  }
  return groups;
}

std::shared_ptr<const std::string> TraceLines::Picture() const {
  std::uint64_t added = 0;
  {
    std::lock_guard lock(mutex_);
    added = added_;
  }
  return picture_.Svg(added, [this] { return ByDevice(); });
}

}  // namespace marlin::panel
