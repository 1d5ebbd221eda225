#include "host/thread_host.h"

#include <mutex>
#include <utility>

namespace marlin {
namespace {

std::mutex factoryMutex;
std::shared_ptr<HostServiceFactory> installedFactory;

// Asks the factory installed at the time of each call; none installed makes nothing.
class InstalledFactory final : public HostServiceFactory {
 public:
  std::unique_ptr<HostTrace> MakeTrace(const Host& context) override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeTrace(context) : nullptr;
  }
  std::unique_ptr<HostGpib> MakeGpib() override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeGpib() : nullptr;
  }
  std::unique_ptr<HostDevList> MakeDevList() override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeDevList() : nullptr;
  }
  std::unique_ptr<HostTools> MakeTools() override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeTools() : nullptr;
  }
  std::unique_ptr<HostMessage> MakeMessage(const Host& context) override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeMessage(context) : nullptr;
  }
  std::unique_ptr<HostTexts> MakeTexts() override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeTexts() : nullptr;
  }
  std::unique_ptr<HostWindows> MakeWindows(const Host& context) override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeWindows(context) : nullptr;
  }
  std::shared_ptr<VisaBinding> MakeVisa() override {
    auto f = InstalledHostServiceFactory();
    return f ? f->MakeVisa() : nullptr;
  }
  void BreakIfDebuggerAttached() override {
    if (auto f = InstalledHostServiceFactory()) f->BreakIfDebuggerAttached();
  }
};

}  // namespace

void InstallHostServiceFactory(std::shared_ptr<HostServiceFactory> factory) {
  std::lock_guard lock(factoryMutex);
  installedFactory = std::move(factory);
}

std::shared_ptr<HostServiceFactory> InstalledHostServiceFactory() {
  std::lock_guard lock(factoryMutex);
  return installedFactory;
}

namespace host {

std::shared_ptr<Host> ThreadContext() {
  thread_local const std::shared_ptr<Host> context =
      std::make_shared<Host>(std::make_shared<InstalledFactory>());
  return context;
}

void ResetThread() { ThreadContext()->Reset(); }

}  // namespace host
}  // namespace marlin
