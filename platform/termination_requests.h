#pragma once
// Requests to end the program (SIGINT and SIGTERM; on Windows Ctrl-C, Ctrl-Break and the console
// closing), taken by a thread that waits for them instead of ending the program at once.
#include <string>

namespace marlin::platform {

class TerminationRequests {
 public:
  // From here on, every thread made later included, a request waits for Await.
  TerminationRequests();
  ~TerminationRequests();
  TerminationRequests(const TerminationRequests&) = delete;
  TerminationRequests& operator=(const TerminationRequests&) = delete;

  // Makes a request as the user would, for a thread that cannot go on.
  void Request() const;

  // Blocks until the next request.
  void Await() const;

  // After the first request: the next one writes `notice` to standard error and ends the
  // process at once, whatever still runs.
  void EndAtTheNext(std::string notice) const;

 private:
  struct State;
  State* state_;
};

}  // namespace marlin::platform
