#include "tests/app/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace marlin::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kGrace{60};

void Close(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> result;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (changes.count(entry.substr(0, entry.find('='))) == 0) result.push_back(entry);
  }
  for (const auto& [name, value] : changes) {
    if (!value.empty()) result.push_back(name + "=" + value);
  }
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !status_) ::kill(pid_, signal);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment) {
  std::array<int, 2> in{}, out{}, err{};
  if (pipe2(in.data(), O_CLOEXEC) != 0 || pipe2(out.data(), O_CLOEXEC) != 0 ||
      pipe2(err.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = ChildEnvironment(environment);
  const int failed = posix_spawn(&pid_, args.front().c_str(), &actions, nullptr,
                                 Pointers(args).data(), Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  outFd_ = out[0];
  errFd_ = err[0];
  signal(SIGPIPE, SIG_IGN);  // a child that ended early must not end the test with it
  if (failed != 0) {
    Close(in_);
    Close(outFd_);
    Close(errFd_);
    throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(failed));
  }
}

ChildProcess::~ChildProcess() {
  if (!status_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  Close(in_);
  Close(outFd_);
  Close(errFd_);
}

void ChildProcess::Write(const std::string& text) {
  std::size_t done = 0;
  while (in_ >= 0 && done < text.size()) {
    const ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::CloseInput() { Close(in_); }

bool ChildProcess::Pump(std::chrono::milliseconds timeout) {
  std::array<pollfd, 2> fds{pollfd{outFd_, POLLIN, 0}, pollfd{errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  if (poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) <= 0) return true;
  std::array<char, 4096> buffer{};
  for (auto [fd, text] : {std::pair{&outFd_, &out_}, std::pair{&errFd_, &err_}}) {
    const pollfd& p = fd == &outFd_ ? fds[0] : fds[1];
    if (*fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = read(*fd, buffer.data(), buffer.size());
    if (n > 0) {
      text->append(buffer.data(), static_cast<std::size_t>(n));
    } else {
      Close(*fd);
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    const std::size_t lf = out_.find('\n', consumed_);
    if (lf != std::string::npos) {
      std::string line = out_.substr(consumed_, lf - consumed_);
      consumed_ = lf + 1;
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0 || !Pump(left)) return std::nullopt;
  }
}

int ChildProcess::Finish(std::chrono::milliseconds timeout) {
  CloseInput();
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (!Pump(left)) break;
  }
  int raw = 0;
  while (Clock::now() < end) {
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      return *status_;
    }
    usleep(10000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  status_ = -1;
  return -1;
}

Finished RunToEnd(const std::vector<std::string>& argv, const std::string& input,
                  const std::map<std::string, std::string>& environment) {
  ChildProcess child(argv, environment);
  child.Write(input);
  const int status = child.Finish(kGrace);
  return {status, child.Stdout(), child.Stderr()};
}

}  // namespace marlin::testing
