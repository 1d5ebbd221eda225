#pragma once
// The session's trace lines kept in memory for the timeline, exactly as the JSON Lines trace
// writes them. The oldest lines go first when the session grows past the bound.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace marlin::panel {

class TraceLines {
 public:
  static constexpr std::size_t kMostLines = 20000;

  void Add(const std::string& line);
  std::vector<std::string> Copy() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
};

}  // namespace marlin::panel
