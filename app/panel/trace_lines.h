#pragma once
// The session's trace lines kept in memory for the timeline, exactly as the JSON Lines trace
// writes them, each with the device whose thread wrote it. The oldest lines go first when the
// session grows past the bound.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/timeline/timeline.h"

namespace marlin::panel {

class TraceLines {
 public:
  static constexpr std::size_t kMostLines = 20000;

  // `device` empty: a line no device's thread wrote.
  void Add(const std::string& device, const std::string& line);
  // The lines of each device in the order written, the devices in the order first heard.
  std::vector<timeline::NamedLines> ByDevice() const;

 private:
  struct Line {
    std::string device, text;
  };
  mutable std::mutex mutex_;
  std::deque<Line> lines_;
};

}  // namespace marlin::panel
