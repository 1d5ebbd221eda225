#include "app/panel/device_worker.h"

#include <utility>

#include "app/connected_amplifier.h"
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
  }
  return "action";
}

// The driver object and this thread's host hooks; both live on the device's thread only.
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
               owner.name_},
        attached_(hooks_) {}

  ~Driver() {
    // Leaving: an open connection is closed, whatever the amplifier says.
    try {
      if (amp && amp->clsDevice_Status() == 1) {
        amp->clsDevice_Status_Let(0);
        amp->clsDevice_Check();
      }
    } catch (...) {
    }
    amp.reset();
  }

  cli::WaitTracker& Tracker() { return *tracker_; }
  std::unique_ptr<clsMarlin> amp = std::make_unique<clsMarlin>();

 private:
  std::shared_ptr<cli::WaitTracker> tracker_;
  DeviceHostHooks hooks_;
  ThreadHooks attached_;
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
  {
    std::lock_guard lock(mutex_);
    leaving_ = true;
  }
  stop_->store(true);
  wake_.notify_all();
  thread_.join();
}

std::optional<std::future<ActionOutcome>> DeviceWorker::Submit(const Action& action) {
  std::future<ActionOutcome> future;
  {
    std::lock_guard lock(mutex_);
    if (view_.busy || leaving_) return std::nullopt;
    view_.busy = true;
    view_.action = ActionWord(action.kind);
    pending_ = action;
    promise_ = std::promise<ActionOutcome>();
    future = promise_.get_future();
  }
  wake_.notify_all();
  PublishView();
  return future;
}

void DeviceWorker::Stop() { stop_->store(true); }

DeviceView DeviceWorker::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

void DeviceWorker::Run() {
  Driver driver(*this);
  try {
    // Naming reads the device list only; it tells the route before any connection.
    driver.amp->clsDevice_Name_Let(name_);
  } catch (...) {
    const MarlinError e = CurrentError();
    std::lock_guard lock(mutex_);
    view_.lastError = ErrorInfo{e.Number(), e.Description()};
  }
  Refresh(driver, false);
  named_.set_value();
  std::unique_lock lock(mutex_);
  for (;;) {
    const bool polling = poll_ && view_.connected;
    const auto ready = [&] { return leaving_ || pending_.has_value(); };
    if (polling) {
      wake_.wait_for(lock, *poll_, ready);
    } else {
      wake_.wait(lock, ready);
    }
    if (leaving_) return;
    if (!pending_) {
      lock.unlock();
      Refresh(driver, true);
      lock.lock();
      continue;
    }
    const Action action = *pending_;
    pending_.reset();
    lock.unlock();
    driver.Tracker().Reset();
    const ActionOutcome outcome = Perform(driver, action);
    driver.Tracker().Reset();
    lock.lock();
    view_.lastError = outcome.error;
    view_.busy = false;
    view_.action.clear();
    view_.wait.reset();
    promise_.set_value(outcome);
    lock.unlock();
    PublishView();
    events_.Publish("outcome", OutcomeJson(name_, action.kind, outcome));
    lock.lock();
  }
}

ActionOutcome DeviceWorker::Perform(Driver& driver, const Action& action) {
  ActionOutcome outcome;
  clsMarlin& amp = *driver.amp;
  bool readState = false;
  try {
    switch (action.kind) {
      case ActionKind::Connect:
        amp.clsDevice_Name_Let(name_);
        amp.clsDevice_Status_Let(1);
        amp.clsDevice_Check();
        if (amp.clsDevice_Status() != 1) {
          const clsMarlin::Snapshot fields = amp.Fields();
          outcome.error =
              ErrorInfo{errors::kTransport, "not connected over " + cli::RouteText(fields) + ": " +
                                                host_.WhyNotConnected(fields)};
        }
        readState = !outcome.error;
        break;
      case ActionKind::Disconnect:
        amp.clsDevice_Status_Let(0);
        amp.clsDevice_Check();
        break;
      case ActionKind::Initialize:
        amp.clsDevice_Initialize();
        readState = true;
        break;
      case ActionKind::ResetFault:
        amp.clsIAmpRemote_ResetFault();
        readState = true;
        break;
      case ActionKind::ReadErrors:
        for (std::int32_t read = 0;; ++read) {
          if (read == kMostErrorsRead) {
            outcome.errorsLeft = true;
            break;
          }
          const std::string entry = amp.clsIAmpRemoteExt_CheckForError();
          if (entry.empty()) break;
          outcome.errors.push_back(cli::AnswerText(entry));
        }
        break;
      case ActionKind::SetState: {
        AmplParamsRecord params;
        params.BandPath = action.request.bandPath;
        params.OutputMode = action.request.outputMode;
        params.OperatingClass = action.request.operatingClass;
        amp.clsIAmpRemote_AmplParams_Let(params);
        stop_->store(false);
        amp.clsIAmpRemote_SetState(action.request.state);
        driver.Tracker().Reset();
        outcome.state = amp.clsIAmpRemote_GetState();
        std::lock_guard lock(mutex_);
        view_.state = outcome.state;
        break;
      }
    }
  } catch (...) {
    // Whatever a host call throws ends this action only, never the device's thread.
    const MarlinError e = CurrentError();
    outcome.error = ErrorInfo{e.Number(), e.Description()};
    readState = false;
  }
  Refresh(driver, readState);
  return outcome;
}

void DeviceWorker::Refresh(Driver& driver, bool readState) {
  clsMarlin& amp = *driver.amp;
  const clsMarlin::Snapshot fields = amp.Fields();
  const bool connected = fields.Status == 1;
  std::optional<std::int32_t> state;
  if (connected && readState) {
    try {
      state = amp.clsIAmpRemote_GetState();
    } catch (...) {
      // The action's own outcome says what failed; the state stays unknown.
    }
  }
  {
    std::lock_guard lock(mutex_);
    view_.route = cli::RouteText(fields);
    view_.interfaceCode = fields.Interface;
    if (!fields.Description.empty()) view_.description = fields.Description;
    view_.connected = connected;
    view_.identification = connected ? cli::AnswerText(fields.Info.Member2) : std::string();
    view_.model = connected ? cli::ModelText(fields) : std::string();
    view_.firmware = connected ? fields.FirmwareVersion : 0;
    view_.bandPath = fields.AmplParams.BandPath;
    if (!connected) {
      view_.state.reset();
    } else if (state) {
      view_.state = state;
    }
  }
  PublishView();
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
