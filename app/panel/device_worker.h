#pragma once
// One device of the list in the panel: its own driver object on its own thread (host services
// are per thread), one action at a time, and a view of what the page shows, published as
// events whenever it changes.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/panel/event_hub.h"
#include "app/panel/web_wait_window.h"
#include "app/wait_tracker.h"
#include "clock/clock.h"

namespace marlin::cli {
class HostSetup;
}

namespace marlin::panel {

enum class ActionKind { Connect, Disconnect, Initialize, ResetFault, ReadErrors, SetState };

struct StateRequest {
  std::int32_t state = 0;
  std::int32_t bandPath = 0;
  std::int32_t outputMode = 0;
  std::int32_t operatingClass = 0;
};

struct Action {
  ActionKind kind = ActionKind::Connect;
  StateRequest request;  // SetState only
};

struct ErrorInfo {
  std::int32_t number = 0;
  std::string description;
};

struct ActionOutcome {
  std::optional<ErrorInfo> error;
  std::optional<std::int32_t> state;  // SetState: the state read back
  std::vector<std::string> errors;    // ReadErrors: the entries, oldest first
  bool errorsLeft = false;            // ReadErrors stopped at its limit
};

struct DeviceView {
  std::string name, description, route;
  std::int32_t interfaceCode = 0;
  bool connected = false;
  std::string identification, model;
  double firmware = 0;
  std::optional<std::int32_t> state;
  std::int32_t bandPath = 0;
  std::optional<ErrorInfo> lastError;
  bool busy = false;
  std::string action;                     // the running action's word, empty when idle
  std::optional<cli::WaitActivity> wait;  // what the running action waits for
  WaitWindowState window;
};

std::string ActionWord(ActionKind kind);

inline constexpr std::int32_t kMostErrorsRead = 10;

class DeviceWorker final : public cli::WaitListener {
 public:
  // `poll`: read the state this often while connected and idle; unset: never.
  DeviceWorker(std::string name, std::string description, std::shared_ptr<Clock> clock,
               const cli::HostSetup& host, EventHub& events,
               std::optional<std::chrono::milliseconds> poll);
  // Ends the running action first, then disconnects and releases the driver object.
  ~DeviceWorker() override;
  DeviceWorker(const DeviceWorker&) = delete;
  DeviceWorker& operator=(const DeviceWorker&) = delete;

  // Nullopt when an action runs already (the device is busy).
  std::optional<std::future<ActionOutcome>> Submit(const Action& action);
  // The operator pressed STOP in the page's wait window.
  void Stop();
  DeviceView View() const;
  const std::string& Name() const { return name_; }

  void WaitBegan(const cli::WaitActivity& activity) override;
  void WaitProgressed(const cli::WaitActivity& activity) override;
  void WaitEnded(const cli::WaitActivity& activity) override;

 private:
  class Driver;

  void Run();
  ActionOutcome Perform(Driver& driver, const Action& action);
  void Refresh(Driver& driver, bool readState);
  void PublishView();
  void PublishWait(const char* phase, const cli::WaitActivity& activity);

  const std::string name_;
  std::shared_ptr<Clock> clock_;
  const cli::HostSetup& host_;
  EventHub& events_;
  std::optional<std::chrono::milliseconds> poll_;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  DeviceView view_;
  std::optional<Action> pending_;
  std::promise<ActionOutcome> promise_;
  bool leaving_ = false;
  // Set once the worker has named its device, so no page sees it before its route is known.
  std::promise<void> named_;
  std::thread thread_;
};

}  // namespace marlin::panel
