#pragma once
// A temporary file and its folder that Ctrl-C or a kill (SIGINT, SIGTERM) must not leave behind:
// while the guard lives, either signal removes them and then ends the program as it would have.
#include <filesystem>

namespace marlin::cli {

class RemovedOnSignal {
 public:
  RemovedOnSignal(const std::filesystem::path& file, const std::filesystem::path& folder);
  ~RemovedOnSignal();
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;
};

}  // namespace marlin::cli
