#include "app/panel/device_worker.h"

#include <utility>

#include "app/amplifier_session.h"
#include "app/host_setup.h"
#include "app/panel/panel_host.h"
#include "app/panel/panel_json.h"
#include "driver/cls_marlin.h"
#include "driver/marlin_error.h"

namespace marlin::panel {

std::string ActionWord(ActionKind kind) {
  switch (kind) {
    case ActionKind::Connect:
      return "connect";
    case ActionKind::Disconnect:
      return "disconnect";
    case ActionKind::Initialize:
      return "initialize";
    case ActionKind::ResetFault:
      return "resetfault";
    case ActionKind::ReadErrors:
      return "errors";
    case ActionKind::SetState:
      return "state";
    case ActionKind::ReadState:
      return "read";
    case ActionKind::RfOff:
      return "rf-off";
  }
  return "action";
}

bool NeedsConnection(ActionKind kind) {
  switch (kind) {
    case ActionKind::Initialize:
    case ActionKind::ResetFault:
    case ActionKind::ReadErrors:
    case ActionKind::SetState:
    case ActionKind::ReadState:
      return true;
    case ActionKind::Connect:
    case ActionKind::Disconnect:
    case ActionKind::RfOff:
      return false;
  }
  return true;
}

// The driver object and its host context, made with this device's hooks; both live on the
// device's thread only.
class DeviceWorker::Driver {
 public:
  explicit Driver(DeviceWorker& owner)
      : tracker_(std::make_shared<cli::WaitTracker>(owner.clock_, owner)),
        hooks_{tracker_, owner.stop_,
               [&owner](const WaitWindowState& state) {
                 {
                   std::lock_guard lock(owner.mutex_);
                   owner.view_.window = state;
                 }
                 owner.PublishView();
               },
               owner.name_,
               [&owner](const std::string& query, const std::string& answer) {
                 owner.recorder_.Exchanged(query, answer);
               }},
        host_(std::make_shared<Host>(std::make_shared<DeviceHostFactory>(
            owner.host_.Factory(), hooks_, owner.host_.SliceMs()))),
        session(owner.name_, owner.host_, tracker_, host_) {}

  cli::WaitTracker& Tracker() { return *tracker_; }
  bool Connected() const { return session.Connected(); }
  clsMarlin& Amp() { return session.Amp(); }

 private:
  std::shared_ptr<cli::WaitTracker> tracker_;
  DeviceHostHooks hooks_;
  std::shared_ptr<Host> host_;

 public:
  // Last, so it disconnects while the device's services are still there.
  cli::AmplifierSession session;
};

DeviceWorker::DeviceWorker(std::string name, std::string description, std::shared_ptr<Clock> clock,
                           const cli::HostSetup& host, EventHub& events,
                           std::optional<std::chrono::milliseconds> poll)
    : name_(std::move(name)), clock_(std::move(clock)), host_(host), events_(events), poll_(poll) {
  view_.name = name_;
  view_.description = std::move(description);
  std::future<void> named = named_.get_future();
  thread_ = std::thread([this] { Run(); });
  named.wait();
}

DeviceWorker::~DeviceWorker() {
  Leave();
  thread_.join();
}

void DeviceWorker::Leave() {
  {
    std::lock_guard lock(mutex_);
    leaving_ = true;
  }
  stop_->store(true);
  wake_.notify_all();
}

std::future<ActionOutcome> DeviceWorker::Enqueue(const Action& action) {
  queue_.push_back(Job{action, {}});
  view_.busy = true;
  return queue_.back().promise.get_future();
}

std::variant<std::future<ActionOutcome>, Refusal> DeviceWorker::Submit(const Action& action) {
  std::future<ActionOutcome> future;
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || leaving_) return Refusal::Stopping;
    if (running_ || !queue_.empty()) return Refusal::Busy;
    if (NeedsConnection(action.kind) && !view_.connected) return Refusal::NotConnected;
    if (action.kind == ActionKind::SetState) {
      if (action.request.bandPathGiven) view_.inputs.bandPath = action.request.bandPath;
      view_.inputs.outputMode = action.request.outputMode;
      view_.inputs.operatingClass = action.request.operatingClass;
    }
    future = Enqueue(action);
  }
  wake_.notify_all();
  PublishView();
  return future;
}

std::future<ActionOutcome> DeviceWorker::SubmitRfOff() {
  std::future<ActionOutcome> future;
  {
    std::lock_guard lock(mutex_);
    if (leaving_) {
      ActionOutcome left;
      left.note = "the panel is leaving";
      left.at = NowText();
      std::promise<ActionOutcome> answered;
      answered.set_value(left);
      return answered.get_future();
    }
    future = Enqueue(Action{ActionKind::RfOff, {}});
  }
  wake_.notify_all();
  PublishView();
  return future;
}

void DeviceWorker::Quiesce() {
  std::future<ActionOutcome> last;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (leaving_) return;
    last = Enqueue(Action{ActionKind::ReadState, {}});
  }
  wake_.notify_all();
  last.wait();
}

void DeviceWorker::Stop() { stop_->store(true); }

DeviceView DeviceWorker::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

std::vector<std::string> DeviceWorker::Log() const {
  std::lock_guard lock(mutex_);
  return {log_.begin(), log_.end()};
}

void DeviceWorker::Run() {
  Driver driver(*this);
  try {
    // Naming reads the device list only; it tells the route before any connection.
    driver.session.Name();
  } catch (...) {
    const MarlinError e = CurrentError();
    std::lock_guard lock(mutex_);
    view_.lastError = ErrorReport(e.Number(), e.Description(), name_);
  }
  Describe(driver);
  named_.set_value();
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto ready = [&] { return leaving_ || !queue_.empty(); };
    if (poll_ && view_.connected) {
      wake_.wait_for(lock, *poll_, ready);
    } else {
      wake_.wait(lock, ready);
    }
    if (leaving_) return;
    if (queue_.empty()) {
      lock.unlock();
      Verify(driver, nullptr);
      lock.lock();
      continue;
    }
    Job job = std::move(queue_.front());
    queue_.pop_front();
    running_ = true;
    view_.action = ActionWord(job.action.kind);
    lock.unlock();
    PublishView();
    driver.Tracker().Reset();
    const ActionOutcome outcome = Perform(driver, job.action);
    driver.Tracker().Reset();
    const std::string json = OutcomeJson(name_, job.action.kind, outcome);
    lock.lock();
    running_ = false;
    view_.busy = !queue_.empty();
    view_.action.clear();
    view_.wait.reset();
    view_.lastError = outcome.error;
    log_.push_back(json);
    if (log_.size() > kMostLogged) log_.pop_front();
    lock.unlock();
    job.promise.set_value(outcome);
    PublishView();
    events_.Publish("outcome", json);
    lock.lock();
  }
}

ActionOutcome DeviceWorker::Perform(Driver& driver, const Action& action) {
  ActionOutcome outcome;
  try {
    Act(driver, action, outcome);
  } catch (...) {
    // Whatever a host call throws ends this action only, never the device's thread.
    const MarlinError e = CurrentError();
    outcome.error = ErrorReport(e.Number(), e.Description(), name_);
  }
  if (action.kind == ActionKind::Connect || action.kind == ActionKind::Disconnect) {
    std::lock_guard lock(mutex_);
    view_.linkLost = false;
  }
  if (action.kind == ActionKind::Disconnect) {
    Describe(driver);
    PublishView();
  } else {
    Verify(driver, &outcome);
  }
  outcome.connected = driver.Connected();
  outcome.at = NowText();
  return outcome;
}

void DeviceWorker::Act(Driver& driver, const Action& action, ActionOutcome& outcome) {
  cli::AmplifierSession& session = driver.session;
  switch (action.kind) {
    case ActionKind::Connect:
      session.Connect();
      break;
    case ActionKind::Disconnect:
      session.Disconnect();
      break;
    case ActionKind::Initialize:
      session.Initialize();
      break;
    case ActionKind::ResetFault:
      session.ResetFault();
      break;
    case ActionKind::ReadErrors:
      ReadErrors(driver, outcome);
      break;
    case ActionKind::SetState:
      stop_->store(false);
      session.SetState({action.request.state,
                        cli::SwitchParams{action.request.bandPath, action.request.outputMode,
                                          action.request.operatingClass}});
      break;
    case ActionKind::ReadState:
      break;  // the read-back after every action is all it does
    case ActionKind::RfOff:
      SwitchRfOff(driver, outcome);
      break;
  }
}

void DeviceWorker::ReadErrors(Driver& driver, ActionOutcome& outcome) {
  cli::ErrorReading reading;
  reading.most = kMostErrorsRead;
  reading.stopAtRepeat = true;
  const cli::ErrorQueue queue = driver.session.ReadErrors(reading);
  for (const cli::QueuedError& entry : queue.entries) outcome.errors.push_back(entry.text);
  outcome.errorsLeft = queue.more;
  outcome.errorRepeats = queue.repeats;
}

void DeviceWorker::SwitchRfOff(Driver& driver, ActionOutcome& outcome) {
  if (!driver.Connected()) {
    outcome.note = "not connected";
    return;
  }
  std::optional<std::int32_t> code;
  const ReadBack heard = ReadState(driver, code);
  // Only a state read back as Off, On or Standby proves RF off; Fault may be an error entry
  // queued while RF is on.
  if (heard.answered && code &&
      (*code == state::kOff || *code == state::kOn || *code == state::kStandby)) {
    outcome.note = "RF is off already (" + clsMarlin::StateName(*code) + ")";
    return;
  }
  stop_->store(false);
  driver.session.SetState({state::kStandby, std::nullopt});
}

ReadBack DeviceWorker::ReadState(Driver& driver, std::optional<std::int32_t>& state) {
  recorder_.Begin();
  try {
    state = driver.session.State();
  } catch (...) {
    state.reset();
  }
  ReadBack heard = recorder_.End();
  if (!heard.answered) state.reset();
  return heard;
}

void DeviceWorker::CheckLink(Driver& driver) {
  try {
    driver.Amp().clsDevice_Status_Let(1);
    driver.Amp().clsDevice_Check();
  } catch (...) {
    // The check absorbs its own errors; a host call's error leaves the status as it is.
  }
  if (!driver.Connected()) {
    std::lock_guard lock(mutex_);
    view_.linkLost = true;
  }
}

void DeviceWorker::Verify(Driver& driver, ActionOutcome* outcome) {
  std::optional<std::int32_t> code;
  ReadBack heard;
  if (driver.Connected()) {
    heard = ReadState(driver, code);
    // An answer proves the link. The connection check is asked only when nothing answered:
    // on LAN and GPIB it clears the amplifier's error queue, and with it what a Fault says.
    if (!heard.answered) {
      CheckLink(driver);
      if (driver.Connected()) heard = ReadState(driver, code);
    }
  }
  const bool connected = driver.Connected();
  const std::optional<std::int32_t> band =
      connected && heard.bandAnswer ? BandPathOf(*heard.bandAnswer) : std::nullopt;
  {
    std::lock_guard lock(mutex_);
    view_.state = connected ? code : std::nullopt;
    view_.bandPath = band;
    view_.fault = code == state::kFault && heard.errorEntry ? cli::AnswerText(*heard.errorEntry)
                                                            : std::string();
    view_.stateAt = connected ? NowText() : std::string();
    if (band && *band > 0) view_.inputs.bandPath = band;
  }
  if (outcome) {
    outcome->state = connected ? code : std::nullopt;
    outcome->bandPath = band;
  }
  Describe(driver);
  PublishView();
}

void DeviceWorker::Describe(Driver& driver) {
  const clsMarlin::Snapshot fields = driver.Amp().Fields();
  const bool connected = fields.Status == 1;
  std::lock_guard lock(mutex_);
  view_.route = cli::RouteText(fields);
  view_.interfaceCode = fields.Interface;
  if (!fields.Description.empty()) view_.description = fields.Description;
  view_.connected = connected;
  view_.identity = connected ? IdentityOf(fields) : Identity{};
  view_.model = connected ? cli::ModelText(fields) : std::string();
  view_.firmware = connected ? fields.FirmwareVersion : 0;
  if (!connected) {
    view_.state.reset();
    view_.bandPath.reset();
    view_.fault.clear();
    view_.stateAt.clear();
  }
}

void DeviceWorker::PublishView() { events_.Publish("device", DeviceJson(View())); }

void DeviceWorker::PublishWait(const char* phase, const cli::WaitActivity& activity) {
  {
    std::lock_guard lock(mutex_);
    if (std::string(phase) == "ended") {
      view_.wait.reset();
    } else {
      view_.wait = activity;
    }
  }
  events_.Publish("wait", WaitJson(name_, phase, activity));
}

void DeviceWorker::WaitBegan(const cli::WaitActivity& a) { PublishWait("began", a); }
void DeviceWorker::WaitProgressed(const cli::WaitActivity& a) { PublishWait("progress", a); }
void DeviceWorker::WaitEnded(const cli::WaitActivity& a) { PublishWait("ended", a); }

}  // namespace marlin::panel
