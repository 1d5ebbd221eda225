#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/termination_requests.h"

namespace marlin::platform {
namespace {

// The exit status of a program that Ctrl-C ends, as a POSIX shell reports SIGINT.
constexpr int kInterruptedStatus = 130;

std::mutex requestsMutex;
std::condition_variable requestArrived;
unsigned long requestsMade = 0;

// The console calls this on a thread of its own; TRUE keeps the program running.
BOOL WINAPI Take(DWORD /*event*/) {
  {
    std::lock_guard lock(requestsMutex);
    ++requestsMade;
  }
  requestArrived.notify_all();
  return TRUE;
}

unsigned long Made() {
  std::lock_guard lock(requestsMutex);
  return requestsMade;
}

void AwaitAfter(unsigned long seen) {
  std::unique_lock lock(requestsMutex);
  requestArrived.wait(lock, [seen] { return requestsMade > seen; });
}

}  // namespace

struct TerminationRequests::State {
  unsigned long seen = 0;  // requests made before this object, or already awaited
};

TerminationRequests::TerminationRequests() : state_(new State) {
  state_->seen = Made();
  SetConsoleCtrlHandler(&Take, TRUE);
}

TerminationRequests::~TerminationRequests() {
  SetConsoleCtrlHandler(&Take, FALSE);
  delete state_;
}

void TerminationRequests::Request() const { Take(CTRL_BREAK_EVENT); }

void TerminationRequests::Await() const {
  AwaitAfter(state_->seen);
  state_->seen = Made();
}

void TerminationRequests::EndAtTheNext(std::string notice) const {
  std::thread([seen = state_->seen, notice = std::move(notice)] {
    AwaitAfter(seen);
    std::fwrite(notice.data(), 1, notice.size(), stderr);
    std::fflush(stderr);
    std::_Exit(kInterruptedStatus);
  }).detach();
}

}  // namespace marlin::platform
