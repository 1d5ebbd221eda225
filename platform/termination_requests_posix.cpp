#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/termination_requests.h"

namespace marlin::platform {
namespace {

int AwaitIn(const sigset_t& set) {
  int signal = 0;
  sigwait(&set, &signal);
  return signal;
}

}  // namespace

// SIGINT and SIGTERM are blocked here, so every thread made later inherits the mask and only
// sigwait takes them.
struct TerminationRequests::State {
  sigset_t set{};
  sigset_t before{};
};

TerminationRequests::TerminationRequests() : state_(new State) {
  sigemptyset(&state_->set);
  sigaddset(&state_->set, SIGINT);
  sigaddset(&state_->set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &state_->set, &state_->before);
}

TerminationRequests::~TerminationRequests() {
  pthread_sigmask(SIG_SETMASK, &state_->before, nullptr);
  delete state_;
}

void TerminationRequests::Request() const { kill(getpid(), SIGTERM); }

void TerminationRequests::Await() const { AwaitIn(state_->set); }

void TerminationRequests::EndAtTheNext(std::string notice) const {
  std::thread([set = state_->set, notice = std::move(notice)] {
    const int signal = AwaitIn(set);
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, notice.data(), notice.size());
    std::_Exit(128 + signal);
  }).detach();
}

}  // namespace marlin::platform
