#pragma once
// One device of the list in the panel: its own driver object on its own thread (host services
// are per thread), one action at a time, and a view of what the page shows, published as
// events whenever it changes. What the view says of the amplifier is what was read back from
// it after the last action or poll, never what was asked for.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "app/panel/error_report.h"
#include "app/panel/event_hub.h"
#include "app/panel/read_back.h"
#include "app/panel/web_wait_window.h"
#include "app/wait_tracker.h"
#include "clock/clock.h"

namespace marlin::cli {
class HostSetup;
}

namespace marlin::panel {

enum class ActionKind {
  Connect,
  Disconnect,
  Initialize,
  ResetFault,
  ReadErrors,
  SetState,
  ReadState,
  RfOff
};

struct StateRequest {
  std::int32_t state = 0;
  std::int32_t bandPath = 0;
  std::int32_t outputMode = 0;
  std::int32_t operatingClass = 0;
  bool bandPathGiven = false;  // a request without one leaves the page's band path as it is
};

struct Action {
  ActionKind kind = ActionKind::Connect;
  StateRequest request;  // SetState only
};

struct ActionOutcome {
  std::optional<ErrorInfo> error;
  // Read back after the action (every action but Disconnect, while connected); nullopt when
  // nothing answered.
  std::optional<std::int32_t> state;
  std::optional<std::int32_t> bandPath;
  bool connected = false;           // after the action and the link check that may follow it
  std::vector<std::string> errors;  // ReadErrors: the entries, oldest first
  bool errorsLeft = false;          // ReadErrors stopped at its limit
  bool errorRepeats = false;        // ReadErrors: the last entry came again (a latched fault)
  std::string note;                 // RfOff: why nothing was switched
  std::string at;                   // when it ended
};

// The band path, output mode and class the page offers for the next switch: the last used or,
// for the band path, the last read back. Nothing until one of them is known.
struct Inputs {
  std::optional<std::int32_t> bandPath;
  std::int32_t outputMode = 0;
  std::int32_t operatingClass = 0;
};

struct DeviceView {
  std::string name, description, route;
  std::int32_t interfaceCode = 0;
  bool connected = false;
  bool linkLost = false;  // the connection check after a failure or a silent poll found it gone
  Identity identity;
  std::string model;
  double firmware = 0;
  std::optional<std::int32_t> state;
  std::optional<std::int32_t> bandPath;
  std::string fault;    // the error-queue entry that makes the state Fault
  std::string stateAt;  // when state and band path were read
  std::optional<ErrorInfo> lastError;
  Inputs inputs;
  bool busy = false;
  std::string action;                     // the running action's word, empty when idle
  std::optional<cli::WaitActivity> wait;  // what the running action waits for
  WaitWindowState window;
};

std::string ActionWord(ActionKind kind);
// Whether an action is refused while the device is not connected.
bool NeedsConnection(ActionKind kind);

inline constexpr std::int32_t kMostErrorsRead = 10;
inline constexpr std::size_t kMostLogged = 50;

enum class Refusal { Busy, NotConnected, Stopping };

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

  // Refused while an action runs or waits, while the device is not connected (for an action
  // that needs a connection) and once the panel is stopping.
  std::variant<std::future<ActionOutcome>, Refusal> Submit(const Action& action);
  // Switches RF off (Standby) if the amplifier reads back Operate or does not answer; never
  // refused: it runs after the action that runs now.
  std::future<ActionOutcome> SubmitRfOff();
  // Refuses new actions, lets the running ones end and reads the state once more.
  void Quiesce();
  // Starts leaving: the thread disconnects and ends after its running action; the destructor
  // waits for it. Lets many devices leave at once.
  void Leave();
  // The operator pressed STOP in the page's wait window.
  void Stop();
  DeviceView View() const;
  // The last outcomes, oldest first, each an outcome event's JSON.
  std::vector<std::string> Log() const;
  const std::string& Name() const { return name_; }

  void WaitBegan(const cli::WaitActivity& activity) override;
  void WaitProgressed(const cli::WaitActivity& activity) override;
  void WaitEnded(const cli::WaitActivity& activity) override;

 private:
  class Driver;
  struct Job {
    Action action;
    std::promise<ActionOutcome> promise;
  };

  std::future<ActionOutcome> Enqueue(const Action& action);
  void Run();
  ActionOutcome Perform(Driver& driver, const Action& action);
  void Act(Driver& driver, const Action& action, ActionOutcome& outcome);
  void ReadErrors(Driver& driver, ActionOutcome& outcome);
  void SwitchRfOff(Driver& driver, ActionOutcome& outcome);
  // The state and band path read back; asks the connection check when nothing answered.
  void Verify(Driver& driver, ActionOutcome* outcome);
  ReadBack ReadState(Driver& driver, std::optional<std::int32_t>& state);
  void CheckLink(Driver& driver);
  void Describe(Driver& driver);
  void PublishView();
  void PublishWait(const char* phase, const cli::WaitActivity& activity);

  const std::string name_;
  std::shared_ptr<Clock> clock_;
  const cli::HostSetup& host_;
  EventHub& events_;
  std::optional<std::chrono::milliseconds> poll_;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  ReadBackRecorder recorder_;  // the device's thread only

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  DeviceView view_;
  std::deque<Job> queue_;
  bool running_ = false;
  bool stopping_ = false;  // Quiesce: no new actions
  bool leaving_ = false;
  std::deque<std::string> log_;
  // Set once the worker has named its device, so no page sees it before its route is known.
  std::promise<void> named_;
  std::thread thread_;
};

}  // namespace marlin::panel
