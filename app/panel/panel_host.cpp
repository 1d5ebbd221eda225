#include "app/panel/panel_host.h"

#include <utility>

#include "app/observed_host.h"
#include "app/panel/observed_routes.h"

namespace marlin::panel {
namespace {

thread_local const DeviceHostHooks* threadHooks = nullptr;

class PanelWindows final : public HostWindows {
 public:
  PanelWindows(std::unique_ptr<HostWindows> inner, DeviceHostHooks hooks)
      : inner_(std::move(inner)), hooks_(std::move(hooks)) {}

  std::unique_ptr<WaitWindowView> CreateWaitWindow(const WaitWindowLayout& layout,
                                                   WaitWindowEvents& events) override {
    return std::make_unique<WebWaitWindow>(
        layout, events, [this](std::function<void()> tick) { return CreateTimer(std::move(tick)); },
        hooks_.stop, hooks_.windowChanged);
  }
  // Messages go to the console and the trace; nobody sits at the console to close them.
  void ShowMessageBox(const std::string& text, const std::string& title,
                      std::int32_t style) override {
    inner_->ShowMessageBox(text, title, style);
  }
  std::unique_ptr<HostTimer> CreateTimer(std::function<void()> tick) override {
    return inner_->CreateTimer(std::move(tick));
  }

 private:
  std::unique_ptr<HostWindows> inner_;
  DeviceHostHooks hooks_;
};

}  // namespace

std::string ThreadDevice() { return threadHooks ? threadHooks->device : std::string(); }

ThreadHooks::ThreadHooks(const DeviceHostHooks& hooks) {
  threadHooks = &hooks;
  host::ResetThread();
}

ThreadHooks::~ThreadHooks() {
  host::ResetThread();
  threadHooks = nullptr;
}

PanelHostFactory::PanelHostFactory(std::shared_ptr<HostServiceFactory> inner, double sliceMs)
    : ForwardingHostFactory(std::move(inner)), sliceMs_(sliceMs) {}

std::unique_ptr<HostTrace> PanelHostFactory::MakeTrace() {
  if (!threadHooks) return inner_->MakeTrace();
  return cli::ObservedHostFactory(inner_, threadHooks->tracker, sliceMs_).MakeTrace();
}

std::unique_ptr<HostTools> PanelHostFactory::MakeTools() {
  if (!threadHooks) return inner_->MakeTools();
  return cli::ObservedHostFactory(inner_, threadHooks->tracker, sliceMs_).MakeTools();
}

std::unique_ptr<HostWindows> PanelHostFactory::MakeWindows() {
  if (!threadHooks) return inner_->MakeWindows();
  return std::make_unique<PanelWindows>(inner_->MakeWindows(), *threadHooks);
}

std::unique_ptr<HostGpib> PanelHostFactory::MakeGpib() {
  if (!threadHooks || !threadHooks->exchanged) return inner_->MakeGpib();
  return ObservedGpib(inner_->MakeGpib(), threadHooks->exchanged);
}

std::unique_ptr<HostDevList> PanelHostFactory::MakeDevList() {
  if (!threadHooks || !threadHooks->exchanged) return inner_->MakeDevList();
  return ObservedDevList(inner_->MakeDevList(), threadHooks->exchanged);
}

std::shared_ptr<VisaBinding> PanelHostFactory::MakeVisa() {
  if (!threadHooks || !threadHooks->exchanged) return inner_->MakeVisa();
  std::shared_ptr<VisaBinding> visa = inner_->MakeVisa();
  return visa ? ObservedVisa(std::move(visa), threadHooks->exchanged) : nullptr;
}

}  // namespace marlin::panel
