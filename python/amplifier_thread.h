#pragma once
// One amplifier's own thread. Host services are per thread, so the session and its services
// live there and every call runs there, one at a time: a caller on any thread can let go of
// the interpreter while it waits. A call's stop request makes the driver's next wait raise, so
// the call ends between two waits with the driver's handlers run; what the driver waits for is
// queued for the caller to pass on.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/wait_tracker.h"

namespace marlin::python {

class AmplifierSession;

struct AmplifierOptions {
  std::string device;
  std::optional<std::string> devices;  // unset: as marlinctl finds its device list
  std::filesystem::path trace;         // empty: no trace
  double timeScale = 1.0;
};

struct WaitEvent {
  std::string what;
  double elapsedSeconds = 0;
  std::optional<double> limitSeconds;
};

// One call: its outcome (an exception or none) and its own stop request.
struct Call {
  std::future<void> done;
  std::shared_ptr<std::atomic<bool>> stop;
};

class AmplifierThread final : public cli::WaitListener {
 public:
  // Throws what setting up the host or naming the device throws.
  explicit AmplifierThread(const AmplifierOptions& options);
  // Lets the running call end, disconnects and ends the thread.
  ~AmplifierThread() override;
  AmplifierThread(const AmplifierThread&) = delete;
  AmplifierThread& operator=(const AmplifierThread&) = delete;

  Call Submit(std::function<void(AmplifierSession&)> work);
  std::vector<WaitEvent> TakeWaitEvents();

  void WaitBegan(const cli::WaitActivity& activity) override { Queue(activity); }
  void WaitProgressed(const cli::WaitActivity& activity) override { Queue(activity); }
  void WaitEnded(const cli::WaitActivity& activity) override { Queue(activity); }

 private:
  struct Job {
    std::function<void(AmplifierSession&)> work;
    std::shared_ptr<std::atomic<bool>> stop;
    std::promise<void> done;
  };

  void Run(const AmplifierOptions& options, std::promise<void>& ready);
  void Serve(AmplifierSession& session, cli::WaitTracker& tracker);
  bool StopRequested();
  void Queue(const cli::WaitActivity& activity);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool leaving_ = false;
  std::shared_ptr<std::atomic<bool>> running_;  // the stop request of the call that runs
  std::vector<WaitEvent> events_;
  std::thread thread_;
};

}  // namespace marlin::python
