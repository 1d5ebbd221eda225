#include "app/panel/panel_host.h"

#include <utility>

#include "app/observed_host.h"
#include "app/panel/observed_routes.h"

namespace marlin::panel {
namespace {

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

DeviceHostFactory::DeviceHostFactory(std::shared_ptr<HostServiceFactory> inner,
                                     DeviceHostHooks hooks, double sliceMs)
    : ObservedHostFactory(std::move(inner), hooks.tracker, sliceMs), hooks_(std::move(hooks)) {}

std::unique_ptr<HostWindows> DeviceHostFactory::MakeWindows(const Host& context) {
  return std::make_unique<PanelWindows>(inner_->MakeWindows(context), hooks_);
}

std::unique_ptr<HostGpib> DeviceHostFactory::MakeGpib() {
  if (!hooks_.exchanged) return inner_->MakeGpib();
  return ObservedGpib(inner_->MakeGpib(), hooks_.exchanged);
}

std::unique_ptr<HostDevList> DeviceHostFactory::MakeDevList() {
  if (!hooks_.exchanged) return inner_->MakeDevList();
  return ObservedDevList(inner_->MakeDevList(), hooks_.exchanged);
}

std::shared_ptr<VisaBinding> DeviceHostFactory::MakeVisa() {
  if (!hooks_.exchanged) return inner_->MakeVisa();
  std::shared_ptr<VisaBinding> visa = inner_->MakeVisa();
  return visa ? ObservedVisa(std::move(visa), hooks_.exchanged) : nullptr;
}

}  // namespace marlin::panel
