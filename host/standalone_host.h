#pragma once
// The host services of a program that has no host of its own (marlinctl, tests, the COM server
// outside a host application), made per thread from one configuration:
//
//   StandaloneHostConfig config;
//   config.deviceList = "devices.toml";
//   config.traceFile = "marlin-trace.jsonl";
//   auto host = std::make_shared<Host>(std::make_shared<StandaloneHostFactory>(config));
//   clsMarlin amp(host);
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "clock/clock.h"
#include "driver/host.h"
#include "host/device_list_file.h"
#include "host/lan_sockets.h"
#include "host/timer_queue.h"
#include "host/trace_sinks.h"
#include "platform/visa_choice.h"

namespace marlin {

struct StandaloneHostConfig {
  // Empty: no device list; its members then raise a clear error.
  std::filesystem::path deviceList;
  // Empty: no trace file. Trace is enabled when a file or the terminal trace is configured.
  std::filesystem::path traceFile;
  // Sees every JSON Lines trace line (with or without a trace file); trace is then enabled.
  JsonLinesFile::LineObserver traceLines;
  bool terminalTrace = false;
  // The answer to every error report; 5 asks the driver to retry the failing step.
  std::int32_t reportAnswer = 0;
  // A wait of N ms lasts N / timeScale ms of real time.
  double timeScale = 1.0;
  // A clock shared with a simulator or a test; replaces the real clock and its timeScale.
  std::shared_ptr<Clock> clock;
  // HostMessage.Context: nothing when unset, else an object whose Enabled is this value.
  std::optional<bool> waitWindowAllowed;
  // Behind HostDevList's Lan* members; without it they raise a clear error.
  std::shared_ptr<LanSockets> lan;
  // Makes each thread's HostGpib; without it every HostGpib member raises a clear error.
  std::function<std::unique_ptr<HostGpib>()> makeGpib;
  // The VISA every thread is given. Without it the platform's choice is made at the first VISA
  // call (and made again after a failed load), the built-in layer's timeouts following the clock.
  std::shared_ptr<VisaBinding> visa;
  // Whether the built-in layer may serve on Windows where no system VISA library loads.
  platform::WindowsVisa windowsVisa = platform::WindowsVisa::SystemLibraryOnly;
  // Operator messages and the terminal trace; std::cerr when null.
  std::ostream* console = nullptr;
};

class StandaloneHostFactory final : public HostServiceFactory {
 public:
  // Raises a clear MarlinError for a configuration that cannot work (a time scale that is not
  // above 0 or that conflicts with a given clock, a trace file that cannot be opened).
  explicit StandaloneHostFactory(StandaloneHostConfig config);

  std::unique_ptr<HostTrace> MakeTrace(const Host& context) override;
  std::unique_ptr<HostGpib> MakeGpib() override;
  std::unique_ptr<HostDevList> MakeDevList() override;
  std::unique_ptr<HostTools> MakeTools() override;
  std::unique_ptr<HostMessage> MakeMessage(const Host& context) override;
  std::unique_ptr<HostTexts> MakeTexts() override;
  std::unique_ptr<HostWindows> MakeWindows(const Host& context) override;
  std::shared_ptr<VisaBinding> MakeVisa() override;
  void BreakIfDebuggerAttached() override;

  const std::shared_ptr<Clock>& SharedClock() const { return clock_; }
  // A reader of the configured device list (its [gpib] and [host] tables included); null when
  // none is configured.
  std::shared_ptr<DeviceListFile> OpenDeviceList() const;

 private:
  // HostTools and HostWindows of one thread share that thread's timers.
  std::shared_ptr<TimerQueue> ThreadTimers();
  std::ostream& Console() const;

  StandaloneHostConfig config_;
  std::shared_ptr<Clock> clock_;
  std::shared_ptr<JsonLinesFile> traceFile_;
  std::vector<std::shared_ptr<TraceSink>> sinks_;
  std::mutex timersMutex_;
  std::map<std::thread::id, std::weak_ptr<TimerQueue>> timers_;
  // One VISA for the host, as one library serves the whole process.
  std::mutex visaMutex_;
  std::shared_ptr<VisaBinding> visa_;
};

}  // namespace marlin
