#include "python/amplifier_thread.h"

#include <chrono>
#include <utility>

#include "app/device_list_location.h"
#include "app/host_setup.h"
#include "app/observed_host.h"
#include "python/amplifier_session.h"
#include "python/thread_host.h"

namespace marlin::python {
namespace {

constexpr double kProgressSliceMs = 100;

double Seconds(Clock::Duration span) { return std::chrono::duration<double>(span).count(); }

}  // namespace

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
  std::optional<AttachedHost> attached;
  std::unique_ptr<cli::HostSetup> setup;
  std::unique_ptr<AmplifierSession> session;
  std::shared_ptr<cli::WaitTracker> tracker;
  try {
    auto clock = std::make_shared<RealClock>(options.timeScale);
    tracker = std::make_shared<cli::WaitTracker>(clock, *this);
    cli::HostPlan plan;
    plan.deviceList = cli::LocateDeviceList(options.devices, cli::ProcessEnvironment).path;
    plan.traceFile = options.trace;
    plan.clock = clock;
    plan.wrap = [this, tracker](std::shared_ptr<HostServiceFactory> factory) {
      return std::make_shared<cli::ObservedHostFactory>(
          Interruptible(std::move(factory), [this] { return StopRequested(); }), tracker,
          kProgressSliceMs);
    };
    plan.install = [&attached](std::shared_ptr<HostServiceFactory> factory) {
      attached.emplace(std::move(factory));
    };
    setup = std::make_unique<cli::HostSetup>(plan);
    session = std::make_unique<AmplifierSession>(options.device, *setup);
  } catch (...) {
    ready.set_exception(std::current_exception());
    return;
  }
  ready.set_value();
  Serve(*session, *tracker);
}

void AmplifierThread::Serve(AmplifierSession& session, cli::WaitTracker& tracker) {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return leaving_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = job.stop;
    lock.unlock();
    tracker.Reset();
    try {
      job.work(session);
      job.done.set_value();
    } catch (...) {
      job.done.set_exception(std::current_exception());
    }
    lock.lock();
    running_.reset();
  }
}

Call AmplifierThread::Submit(std::function<void(AmplifierSession&)> work) {
  Job job{std::move(work), std::make_shared<std::atomic<bool>>(false), {}};
  Call call{job.done.get_future(), job.stop};
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
  return call;
}

bool AmplifierThread::StopRequested() {
  std::lock_guard lock(mutex_);
  return running_ && running_->load();
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
