#pragma once
// The session's trace lines kept in memory for the timeline, exactly as the JSON Lines trace
// writes them, each with the device whose thread wrote it. The oldest lines go first when the
// session grows past the bound.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/timeline/live_picture.h"
#include "app/timeline/timeline.h"

namespace marlin::panel {

class TraceLines {
 public:
  static constexpr std::size_t kMostLines = 20000;

  // `device` empty: a line no device's thread wrote.
  void Add(const std::string& device, const std::string& line);
  // The lines of each device in the order written, the devices in the order first heard.
  std::vector<timeline::NamedLines> ByDevice() const;
  // The timeline of the lines, drawn again only when lines were added.
  std::shared_ptr<const std::string> Picture() const;

 private:
  struct Line {
    std::string device, text;
  };
  mutable std::mutex mutex_;
  std::deque<Line> lines_;
  std::uint64_t added_ = 0;
  mutable timeline::LivePicture picture_;
};

}  // namespace marlin::panel
