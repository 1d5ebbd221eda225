#pragma once
// The panel's host services: the stand-alone services with, on each device's thread, that
// device's wait observer, its wait window in the page and a listener to its queries and
// answers. Threads that are no device's get the stand-alone services unchanged.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/forwarding_host.h"
#include "app/panel/web_wait_window.h"
#include "app/wait_tracker.h"
#include "driver/host_registry.h"

namespace marlin::panel {

// What one device's thread adds to the host's services.
struct DeviceHostHooks {
  std::shared_ptr<cli::WaitTracker> tracker;
  std::shared_ptr<std::atomic<bool>> stop;
  std::function<void(const WaitWindowState&)> windowChanged;
  std::string device;  // its name in the device list
  // Each query the driver sends and the answer the route returned, on every route.
  std::function<void(const std::string& query, const std::string& answer)> exchanged;
};

// The device whose thread calls, by name; empty on a thread that is no device's.
std::string ThreadDevice();

// Attaches `hooks` to the calling thread for the object's lifetime. Services the thread made
// before are dropped, so the next use makes them with the hooks.
class ThreadHooks {
 public:
  explicit ThreadHooks(const DeviceHostHooks& hooks);
  ~ThreadHooks();
  ThreadHooks(const ThreadHooks&) = delete;
  ThreadHooks& operator=(const ThreadHooks&) = delete;
};

class PanelHostFactory final : public cli::ForwardingHostFactory {
 public:
  // `sliceMs`: see cli::ObservedHostFactory.
  PanelHostFactory(std::shared_ptr<HostServiceFactory> inner, double sliceMs);

  std::unique_ptr<HostTrace> MakeTrace() override;
  std::unique_ptr<HostTools> MakeTools() override;
  std::unique_ptr<HostWindows> MakeWindows() override;
  std::unique_ptr<HostGpib> MakeGpib() override;
  std::unique_ptr<HostDevList> MakeDevList() override;
  std::shared_ptr<VisaBinding> MakeVisa() override;

 private:
  double sliceMs_;
};

}  // namespace marlin::panel
