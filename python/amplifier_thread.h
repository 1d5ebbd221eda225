#pragma once
// One amplifier's own thread. Host services are per thread, so the session and its services
// live there and every call runs there, one at a time: a caller on any thread can let go of
// the interpreter while it waits, and several amplifiers each keep their own device list,
// trace and clock. What the driver waits for is queued for the caller to pass on.
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

namespace marlin::cli {
class AmplifierSession;
}

namespace marlin::python {

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

class AmplifierThread final : public cli::WaitListener {
 public:
  using Work = std::function<void(cli::AmplifierSession&)>;
  struct Job;

  // One call: its outcome (an exception or none) and the job, to stop it.
  struct Call {
    std::future<void> done;
    std::shared_ptr<Job> job;
  };

  // Throws what setting up the host or naming the device throws.
  explicit AmplifierThread(const AmplifierOptions& options);
  // Lets the calls asked for end, disconnects and ends the thread.
  ~AmplifierThread() override;
  AmplifierThread(const AmplifierThread&) = delete;
  AmplifierThread& operator=(const AmplifierThread&) = delete;

  Call Submit(Work work);
  // The call ends at the driver's next wait (outside a query), or does not start. Ask again
  // until it has ended: a session clears the request when its call begins.
  void Stop(const Call& call);
  std::vector<WaitEvent> TakeWaitEvents();

  void WaitBegan(const cli::WaitActivity& activity) override { Queue(activity); }
  void WaitProgressed(const cli::WaitActivity& activity) override { Queue(activity); }
  void WaitEnded(const cli::WaitActivity& activity) override { Queue(activity); }

 private:
  void Run(const AmplifierOptions& options, std::promise<void>& ready);
  void Serve(cli::AmplifierSession& session);
  void Queue(const cli::WaitActivity& activity);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Job>> jobs_;
  bool leaving_ = false;
  cli::AmplifierSession* session_ = nullptr;  // while it serves
  std::shared_ptr<Job> running_;
  std::vector<WaitEvent> events_;
  std::thread thread_;
};

}  // namespace marlin::python
