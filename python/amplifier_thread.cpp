#include "python/amplifier_thread.h"

#include <chrono>
#include <utility>

#include "app/amplifier_session.h"
#include "app/device_list_location.h"
#include "app/host_setup.h"
#include "driver/host.h"

namespace marlin::python {
namespace {

// The host's clock between two progress reports, per unit of time scale: a tenth of a second.
constexpr double kProgressSliceMs = 100;

double Seconds(Clock::Duration span) { return std::chrono::duration<double>(span).count(); }

}  // namespace

struct AmplifierThread::Job {
  Work work;
  std::promise<void> done;
  std::atomic<bool> stopped{false};
};

AmplifierThread::AmplifierThread(const AmplifierOptions& options) {
  std::promise<void> ready;
  std::future<void> started = ready.get_future();
  thread_ =
      std::thread([this, options, ready = std::move(ready)]() mutable { Run(options, ready); });
  try {
    started.get();
  } catch (...) {
    thread_.join();
    throw;
  }
}

AmplifierThread::~AmplifierThread() {
  {
    std::lock_guard lock(mutex_);
    leaving_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void AmplifierThread::Run(const AmplifierOptions& options, std::promise<void>& ready) {
  // Made in this order, gone in the reverse: the session disconnects before the services go.
  std::shared_ptr<Host> context;
  std::unique_ptr<cli::HostSetup> host;
  std::unique_ptr<cli::AmplifierSession> session;
  try {
    auto clock = std::make_shared<RealClock>(options.timeScale);
    auto tracker = std::make_shared<cli::WaitTracker>(clock, *this);
    cli::HostPlan plan;
    plan.deviceList = cli::LocateDeviceList(options.devices, cli::ProcessEnvironment).path;
    plan.traceFile = options.trace;
    plan.clock = clock;
    plan.tracker = tracker;
    plan.sliceMs = kProgressSliceMs * options.timeScale;
    // This amplifier's own services, not the process's: several may run at once.
    plan.install = [&context](std::shared_ptr<HostServiceFactory> factory) {
      context = std::make_shared<Host>(std::move(factory));
    };
    host = std::make_unique<cli::HostSetup>(plan);
    session = std::make_unique<cli::AmplifierSession>(options.device, *host, tracker, context);
    session->Name();
  } catch (...) {
    ready.set_exception(std::current_exception());
    return;
  }
  ready.set_value();
  Serve(*session);
}

void AmplifierThread::Serve(cli::AmplifierSession& session) {
  std::unique_lock lock(mutex_);
  session_ = &session;
  while (true) {
    wake_.wait(lock, [this] { return leaving_ || !jobs_.empty(); });
    if (jobs_.empty()) break;
    std::shared_ptr<Job> job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = job;
    lock.unlock();
    try {
      if (job->stopped) throw MarlinError(cli::kStoppedError, "stopped before it began");
      job->work(session);
      job->done.set_value();
    } catch (...) {
      job->done.set_exception(std::current_exception());
    }
    lock.lock();
    running_.reset();
  }
  session_ = nullptr;
}

AmplifierThread::Call AmplifierThread::Submit(Work work) {
  auto job = std::make_shared<Job>();
  job->work = std::move(work);
  Call call{job->done.get_future(), job};
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
  return call;
}

void AmplifierThread::Stop(const Call& call) {
  std::lock_guard lock(mutex_);
  call.job->stopped = true;
  if (running_ == call.job && session_ != nullptr) session_->Stop();
}

void AmplifierThread::Queue(const cli::WaitActivity& activity) {
  WaitEvent event{activity.what, Seconds(activity.elapsed), std::nullopt};
  if (activity.limit) event.limitSeconds = Seconds(*activity.limit);
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
}

std::vector<WaitEvent> AmplifierThread::TakeWaitEvents() {
  std::lock_guard lock(mutex_);
  return std::exchange(events_, {});
}

}  // namespace marlin::python
