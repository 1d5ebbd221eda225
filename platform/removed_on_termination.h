#pragma once
// A temporary file and its folder that Ctrl-C or a kill must not leave behind: while the guard
// lives, a request to end (SIGINT or SIGTERM; on Windows Ctrl-C, Ctrl-Break or the console
// closing) removes them and then ends the program as it would have.
#include <filesystem>

namespace marlin::platform {

class RemovedOnTermination {
 public:
  RemovedOnTermination(const std::filesystem::path& file, const std::filesystem::path& folder);
  ~RemovedOnTermination();
  RemovedOnTermination(const RemovedOnTermination&) = delete;
  RemovedOnTermination& operator=(const RemovedOnTermination&) = delete;
};

}  // namespace marlin::platform
