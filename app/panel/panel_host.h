#pragma once
// One device's host services in the panel: the stand-alone services with that device's wait
// observer, its wait window in the page and a listener to its queries and answers. Each device's
// driver object gets a context of its own made from this factory.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/observed_host.h"
#include "app/panel/web_wait_window.h"
#include "app/wait_tracker.h"
#include "driver/host.h"

namespace marlin::panel {

// What one device adds to the host's services.
struct DeviceHostHooks {
  std::shared_ptr<cli::WaitTracker> tracker;
  std::shared_ptr<std::atomic<bool>> stop;
  std::function<void(const WaitWindowState&)> windowChanged;
  std::string device;  // its name in the device list
  // Each query the driver sends and the answer the route returned, on every route.
  std::function<void(const std::string& query, const std::string& answer)> exchanged;
};

class DeviceHostFactory final : public cli::ObservedHostFactory {
 public:
  // `sliceMs`: see cli::ObservedHostFactory.
  DeviceHostFactory(std::shared_ptr<HostServiceFactory> inner, DeviceHostHooks hooks,
                    double sliceMs);

  std::unique_ptr<HostWindows> MakeWindows(const Host& context) override;
  std::unique_ptr<HostGpib> MakeGpib() override;
  std::unique_ptr<HostDevList> MakeDevList() override;
  std::shared_ptr<VisaBinding> MakeVisa() override;

 private:
  DeviceHostHooks hooks_;
};

}  // namespace marlin::panel
