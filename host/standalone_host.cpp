#include "host/standalone_host.h"

#include <cmath>
#include <iostream>
#include <utility>

#include "driver/marlin_error.h"
#include "driver/procedure.h"
#include "host/host_errors.h"
#include "host/real_wait.h"
#include "host/standalone_devlist.h"
#include "host/standalone_message.h"
#include "host/standalone_texts.h"
#include "host/standalone_tools.h"
#include "host/standalone_trace.h"
#include "host/terminal_windows.h"
#include "io/visa_binding.h"
#include "platform/debug_break.h"
#include "platform/visa_choice.h"

namespace marlin {
namespace {

// The context outlives the services made for it.
TracedDeviceSource DeviceOf(const Host& context) {
  return [&context] { return context.TracedDevice(); };
}

// The GPIB service of a host that was given no GPIB backend.
class UnconfiguredGpib final : public HostGpib {
 public:
  std::int16_t GpibStatus() override { Refuse(); }
  bool GpibSucceeded() override { Refuse(); }
  void GpibOpen(std::int16_t, std::int16_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                std::int16_t&) override {
    Refuse();
  }
  void GpibPrepareClose(std::int16_t) override { Refuse(); }
  void GpibClose(std::int16_t, std::int32_t) override { Refuse(); }
  void GpibWrite(std::int16_t, const std::string&) override { Refuse(); }
  void GpibRead(std::int16_t, std::string&) override { Refuse(); }

 private:
  [[noreturn]] static void Refuse() {
    throw MarlinError(host_errors::kNotConfigured, "No GPIB backend is configured");
  }
};

std::shared_ptr<Clock> ChooseClock(const StandaloneHostConfig& config) {
  if (!(std::isfinite(config.timeScale) && config.timeScale > 0)) {
    throw MarlinError(errors::kInvalidArgument, "The time scale must be a number above 0, not " +
                                                    std::to_string(config.timeScale));
  }
  if (config.clock) {
    if (config.timeScale != 1.0) {
      throw MarlinError(errors::kInvalidArgument,
                        "A time scale cannot be combined with a given clock; scale the clock");
    }
    return config.clock;
  }
  return std::make_shared<RealClock>(config.timeScale);
}

// Trace lines appended to the device list would break every later read of it. Compared by
// identity, so that another name, a symbolic or a hard link of the list is refused as well.
void RefuseTraceIntoDeviceList(const StandaloneHostConfig& config) {
  if (config.traceFile.empty() || config.deviceList.empty()) return;
  std::error_code ec;
  if (std::filesystem::equivalent(config.traceFile, config.deviceList, ec) && !ec) {
    throw MarlinError(errors::kFileAccess,
                      "The trace file \"" + config.traceFile.string() + "\" is the device list \"" +
                          config.deviceList.string() + "\"; choose another file for the trace");
  }
}

}  // namespace

StandaloneHostFactory::StandaloneHostFactory(StandaloneHostConfig config)
    : config_(std::move(config)), clock_(ChooseClock(config_)) {
  RefuseTraceIntoDeviceList(config_);
  if (!config_.traceFile.empty() || config_.traceLines) {
    traceFile_ = std::make_shared<JsonLinesFile>(
        config_.traceFile, ClockStamp(clock_, TraceEpochFor(*clock_)), config_.traceLines);
    sinks_.push_back(traceFile_);
  }
  if (config_.terminalTrace) sinks_.push_back(std::make_shared<TerminalTrace>(Console()));
  visa_ = config_.visa;
}

void StandaloneHostFactory::BreakIfDebuggerAttached() { platform::DebugBreakIfAttached(); }

std::ostream& StandaloneHostFactory::Console() const {
  return config_.console ? *config_.console : std::cerr;
}

std::shared_ptr<DeviceListFile> StandaloneHostFactory::OpenDeviceList() const {
  if (config_.deviceList.empty()) return nullptr;
  return std::make_shared<DeviceListFile>(config_.deviceList);
}

std::shared_ptr<TimerQueue> StandaloneHostFactory::ThreadTimers() {
  std::lock_guard lock(timersMutex_);
  std::erase_if(timers_, [](const auto& entry) { return entry.second.expired(); });
  std::weak_ptr<TimerQueue>& slot = timers_[std::this_thread::get_id()];
  auto queue = slot.lock();
  if (!queue) {
    queue = std::make_shared<TimerQueue>(clock_);
    slot = queue;
  }
  return queue;
}

std::unique_ptr<HostTrace> StandaloneHostFactory::MakeTrace(const Host& context) {
  return std::make_unique<StandaloneTrace>(sinks_, config_.reportAnswer, DeviceOf(context));
}

std::unique_ptr<HostGpib> StandaloneHostFactory::MakeGpib() {
  if (config_.makeGpib) return config_.makeGpib();
  return std::make_unique<UnconfiguredGpib>();
}

std::unique_ptr<HostDevList> StandaloneHostFactory::MakeDevList() {
  return std::make_unique<StandaloneDevList>(OpenDeviceList(), config_.lan);
}

std::unique_ptr<HostTools> StandaloneHostFactory::MakeTools() {
  return std::make_unique<StandaloneTools>(OpenDeviceList(), ThreadTimers());
}

std::unique_ptr<HostMessage> StandaloneHostFactory::MakeMessage(const Host& context) {
  return std::make_unique<StandaloneMessage>(Console(), traceFile_, config_.waitWindowAllowed,
                                             DeviceOf(context));
}

std::unique_ptr<HostTexts> StandaloneHostFactory::MakeTexts() {
  return std::make_unique<StandaloneTexts>();
}

std::unique_ptr<HostWindows> StandaloneHostFactory::MakeWindows(const Host& context) {
  return std::make_unique<TerminalWindows>(ThreadTimers(), Console(), traceFile_,
                                           DeviceOf(context));
}

std::shared_ptr<VisaBinding> StandaloneHostFactory::MakeVisa() {
  std::lock_guard lock(visaMutex_);
  if (!visa_) {
    // The built-in layer's timeouts follow this host's time scale, as its LAN sockets' do.
    BuiltinVisaOptions builtin;
    builtin.realSpan = [clock = clock_](std::chrono::nanoseconds span) {
      return RealWait(*clock, span);
    };
    visa_ = platform::ChooseVisa(builtin, config_.windowsVisa);
  }
  return visa_;
}

}  // namespace marlin
