#include "python/thread_host.h"

#include <mutex>
#include <string>
#include <utility>

#include "app/forwarding_host.h"
#include "driver/marlin_error.h"

namespace marlin::python {
namespace {

thread_local std::shared_ptr<HostServiceFactory> attached;

HostServiceFactory& Attached() {
  if (!attached) {
    throw MarlinError(errors::kCannotCreateObject,
                      "no host services on this thread: it belongs to no amplifier");
  }
  return *attached;
}

class ThreadDispatch final : public HostServiceFactory {
 public:
  std::unique_ptr<HostTrace> MakeTrace() override { return Attached().MakeTrace(); }
  std::unique_ptr<HostGpib> MakeGpib() override { return Attached().MakeGpib(); }
  std::unique_ptr<HostDevList> MakeDevList() override { return Attached().MakeDevList(); }
  std::unique_ptr<HostTools> MakeTools() override { return Attached().MakeTools(); }
  std::unique_ptr<HostMessage> MakeMessage() override { return Attached().MakeMessage(); }
  std::unique_ptr<HostTexts> MakeTexts() override { return Attached().MakeTexts(); }
  std::unique_ptr<HostWindows> MakeWindows() override { return Attached().MakeWindows(); }
  std::shared_ptr<VisaBinding> MakeVisa() override { return Attached().MakeVisa(); }
};

class InterruptibleTools final : public HostTools {
 public:
  InterruptibleTools(std::unique_ptr<HostTools> inner, std::function<bool()> stopRequested)
      : inner_(std::move(inner)), stopRequested_(std::move(stopRequested)) {}

  double LowestFrequency() override { return inner_->LowestFrequency(); }
  double HighestFrequency() override { return inner_->HighestFrequency(); }
  bool IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) override {
    return inner_->IsBetween(low, value, high);
  }
  void Wait(float milliseconds) override {
    if (stopRequested_()) throw MarlinError(kInterrupted, kInterruptedText);
    inner_->Wait(milliseconds);
  }

 private:
  std::unique_ptr<HostTools> inner_;
  std::function<bool()> stopRequested_;
};

class InterruptibleFactory final : public cli::ForwardingHostFactory {
 public:
  InterruptibleFactory(std::shared_ptr<HostServiceFactory> inner,
                       std::function<bool()> stopRequested)
      : ForwardingHostFactory(std::move(inner)), stopRequested_(std::move(stopRequested)) {}

  std::unique_ptr<HostTools> MakeTools() override {
    return std::make_unique<InterruptibleTools>(inner_->MakeTools(), stopRequested_);
  }

 private:
  std::function<bool()> stopRequested_;
};

}  // namespace

AttachedHost::AttachedHost(std::shared_ptr<HostServiceFactory> factory) {
  static std::once_flag installed;
  std::call_once(installed, [] { InstallHostServiceFactory(std::make_shared<ThreadDispatch>()); });
  host::ResetThread();
  attached = std::move(factory);
}

AttachedHost::~AttachedHost() {
  host::ResetThread();
  attached.reset();
}

std::shared_ptr<HostServiceFactory> Interruptible(std::shared_ptr<HostServiceFactory> inner,
                                                  std::function<bool()> stopRequested) {
  return std::make_shared<InterruptibleFactory>(std::move(inner), std::move(stopRequested));
}

}  // namespace marlin::python
