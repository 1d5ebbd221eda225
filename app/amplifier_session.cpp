#include "app/amplifier_session.h"

#include <cmath>
#include <limits>
#include <utility>

#include "app/host_setup.h"
#include "control/wait_table.h"
#include "driver/cls_marlin.h"
#include "driver/marlin_error.h"
#include "driver/text_numbers.h"
#include "host/thread_host.h"

namespace marlin::cli {
namespace {

constexpr const char* kStoppedText = "stopped by the user";
constexpr double kSliceOfScale = 100;  // ms on the host's clock per unit of time scale

// Told of each wait the driver starts: ends the call there once a stop was asked for, except in
// the pause between a query and its answer, which would leave the answer for the next query.
class StopCheck final : public WaitObserver {
 public:
  StopCheck(std::shared_ptr<std::atomic<bool>> stop, std::shared_ptr<WaitTracker> tracker)
      : stop_(std::move(stop)), tracker_(std::move(tracker)) {}

  void DriverWaitStarts(WaitId id, double milliseconds) override {
    if (stop_->load() && timing::WaitEntry(id).kind != timing::WaitKind::WithinQuery) {
      throw MarlinError(kStoppedError, kStoppedText);
    }
    if (tracker_) tracker_->DriverWaitStarts(id, milliseconds);
  }

 private:
  std::shared_ptr<std::atomic<bool>> stop_;
  std::shared_ptr<WaitTracker> tracker_;
};

class CallbackListener final : public WaitListener {
 public:
  explicit CallbackListener(WaitCallback callback) : callback_(std::move(callback)) {}
  void WaitBegan(const WaitActivity& activity) override { Tell(activity); }
  void WaitProgressed(const WaitActivity& activity) override { Tell(activity); }
  void WaitEnded(const WaitActivity& activity) override { Tell(activity); }

 private:
  void Tell(const WaitActivity& activity) {
    if (callback_) callback_(activity);
  }
  WaitCallback callback_;
};

QueuedError Entry(const std::string& answer) {
  QueuedError entry;
  entry.text = AnswerText(answer);
  const double number = LeadingNumber(entry.text);
  if (std::isfinite(number) && std::abs(number) <= std::numeric_limits<std::int32_t>::max()) {
    entry.number = static_cast<std::int32_t>(number);
  }
  return entry;
}

}  // namespace

// The host services a session installs for itself: a clock at the plan's scale, its waits
// observed for the callback.
class AmplifierSession::OwnHost {
 public:
  explicit OwnHost(const SessionPlan& plan)
      : clock(std::make_shared<RealClock>(plan.timeScale)),
        listener(plan.onWait),
        tracker(std::make_shared<WaitTracker>(clock, listener)),
        host(Plan(plan)) {}

  std::shared_ptr<RealClock> clock;
  CallbackListener listener;
  std::shared_ptr<WaitTracker> tracker;
  HostSetup host;

 private:
  HostPlan Plan(const SessionPlan& plan) const {
    HostPlan hostPlan;
    hostPlan.deviceList = plan.deviceList;
    hostPlan.traceFile = plan.traceFile;
    hostPlan.clock = clock;
    hostPlan.tracker = tracker;
    hostPlan.sliceMs = kSliceOfScale * plan.timeScale;
    return hostPlan;
  }
};

AmplifierSession::AmplifierSession(std::string device, const HostSetup& host,
                                   std::shared_ptr<WaitTracker> tracker,
                                   std::shared_ptr<Host> context)
    : device_(std::move(device)),
      host_(&host),
      tracker_(std::move(tracker)),
      amp_(std::make_unique<clsMarlin>(context ? std::move(context) : host::ThreadContext())) {
  amp_->SetWaitObserver(std::make_shared<StopCheck>(stop_, tracker_));
}

AmplifierSession::AmplifierSession(const SessionPlan& plan)
    : device_(plan.device), own_(std::make_unique<OwnHost>(plan)) {
  host_ = &own_->host;
  tracker_ = own_->tracker;
  amp_ = std::make_unique<clsMarlin>(host::ThreadContext());
  amp_->SetWaitObserver(std::make_shared<StopCheck>(stop_, tracker_));
}

AmplifierSession::~AmplifierSession() {
  stop_->store(false);
  try {
    if (Connected()) Disconnect();
  } catch (...) {
    // Leaving anyway: releasing the object closes what it can.
  }
  amp_.reset();
}

// Each call starts without a stop request and leaves no activity behind, even when it fails.
class AmplifierSession::Call {
 public:
  explicit Call(AmplifierSession& session) : session_(session) {
    session_.stop_->store(false);
    if (session_.tracker_) session_.tracker_->Reset();
  }
  ~Call() {
    if (session_.tracker_) session_.tracker_->Reset();
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

 private:
  AmplifierSession& session_;
};

void AmplifierSession::Name() {
  const Call call(*this);
  amp_->clsDevice_Name_Let(device_);
}

void AmplifierSession::Connect() {
  const Call call(*this);
  amp_->clsDevice_Name_Let(device_);
  amp_->clsDevice_Status_Let(1);
  amp_->clsDevice_Check();
  if (!Connected()) {
    throw NotConnected("not connected over " + RouteText() + ": " + WhyNotConnected());
  }
}

bool AmplifierSession::Connected() const { return amp_->Fields().Status == 1; }

void AmplifierSession::Disconnect() {
  const Call call(*this);
  amp_->clsDevice_Status_Let(0);
  amp_->clsDevice_Check();
}

SessionIdentity AmplifierSession::Identify() const {
  const clsMarlin::Snapshot fields = amp_->Fields();
  const InfoRecord& info = fields.Info;
  SessionIdentity identity;
  identity.description = fields.Description;
  identity.route = cli::RouteText(fields);
  identity.interfaceCode = fields.Interface;
  identity.identification = AnswerText(info.Member2);
  identity.serial = AnswerText(info.Member3);
  identity.firmware = fields.FirmwareVersion;
  identity.model = ModelText(fields);
  return identity;
}

std::int32_t AmplifierSession::State() {
  const Call call(*this);
  return amp_->clsIAmpRemote_GetState();
}

void AmplifierSession::SetState(const SwitchRequest& request) {
  const Call call(*this);
  if (request.params) {
    AmplParamsRecord params;
    params.BandPath = request.params->bandPath;
    params.OutputMode = request.params->outputMode;
    params.OperatingClass = request.params->operatingClass;
    amp_->clsIAmpRemote_AmplParams_Let(params);
  }
  amp_->clsIAmpRemote_SetState(request.state);
}

void AmplifierSession::ResetFault() {
  const Call call(*this);
  amp_->clsIAmpRemote_ResetFault();
}

void AmplifierSession::Initialize() {
  const Call call(*this);
  amp_->clsDevice_Initialize();
}

ErrorQueue AmplifierSession::ReadErrors(const ErrorReading& reading) {
  const Call call(*this);
  ErrorQueue queue;
  for (std::int32_t read = 0;; ++read) {
    if (read == reading.most) {
      queue.more = true;
      return queue;
    }
    const std::string answer = amp_->clsIAmpRemoteExt_CheckForError();
    if (answer.empty()) return queue;
    QueuedError entry = Entry(answer);
    if (reading.stopAtRepeat && !queue.entries.empty() && queue.entries.back().text == entry.text) {
      queue.repeats = true;
      return queue;
    }
    if (reading.each) reading.each(entry);
    queue.entries.push_back(std::move(entry));
  }
}

std::string AmplifierSession::WhyNotConnected() const {
  return host_->WhyNotConnected(amp_->Fields());
}

std::string ModelText(const clsMarlin::Snapshot& amp) {
  if (amp.IsPA4413 == kTrue) return "PA4413";
  if (amp.IsPA4520 == kTrue) return "PA4520";
  if (amp.NotPA4413 == kTrue) return "PA4415";
  return "PA4400 family (not recognised by name)";
}

std::string AmplifierSession::RouteText() const { return cli::RouteText(amp_->Fields()); }

}  // namespace marlin::cli
