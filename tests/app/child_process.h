#pragma once
// A program run by a test: stdin written through a pipe, stdout and stderr collected, every wait
// bounded. The process is killed and reaped if the test leaves it running.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace marlin::testing {

class ChildProcess {
 public:
  // `environment` entries are set (or, with an empty value, removed) for the child only.
  explicit ChildProcess(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Write(const std::string& text);
  // Sends `signal` to the process while it runs.
  void Signal(int signal);
  void CloseInput();
  // The next line of stdout without its line feed; nullopt at its end or after `timeout`.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Closes stdin, collects all output and returns the exit status; -1 after `timeout` (killed).
  int Finish(std::chrono::milliseconds timeout);

  const std::string& Stdout() const { return out_; }
  const std::string& Stderr() const { return err_; }

 private:
  // Reads what is there within `timeout`; false once both streams have ended.
  bool Pump(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int in_ = -1, outFd_ = -1, errFd_ = -1;
  std::string out_, err_;
  std::size_t consumed_ = 0;  // of out_, by ReadLine
  std::optional<int> status_;
};

// Runs a program to its end with `input` on stdin.
struct Finished {
  int status;
  std::string out, err;
};
Finished RunToEnd(const std::vector<std::string>& argv, const std::string& input = {},
                  const std::map<std::string, std::string>& environment = {});

}  // namespace marlin::testing
