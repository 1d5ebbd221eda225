#include "com/server_host.h"

#include <mutex>

#include "com/pumping_tools.h"
#include "com/server_settings.h"
#include "com/win32_message_window.h"
#include "com/win32_windows.h"
#include "host/gpib_service.h"
#include "host/lan_sockets_tcp.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"

namespace marlin::com {
namespace {

class ServerHostFactory final : public HostServiceFactory {
 public:
  explicit ServerHostFactory(const ServerSettings& settings)
      : clock_(std::make_shared<RealClock>(settings.timeScale)),
        standalone_(Configure(settings, clock_)) {}

  std::unique_ptr<HostTrace> MakeTrace(const Host& context) override {
    return standalone_.MakeTrace(context);
  }
  std::unique_ptr<HostGpib> MakeGpib() override { return standalone_.MakeGpib(); }
  std::unique_ptr<HostDevList> MakeDevList() override { return standalone_.MakeDevList(); }
  std::unique_ptr<HostTools> MakeTools() override {
    return std::make_unique<PumpingTools>(standalone_.MakeTools(), clock_);
  }
  std::unique_ptr<HostMessage> MakeMessage(const Host& context) override {
    return std::make_unique<Win32Message>(standalone_.MakeMessage(context), clock_);
  }
  std::unique_ptr<HostTexts> MakeTexts() override { return standalone_.MakeTexts(); }
  std::unique_ptr<HostWindows> MakeWindows(const Host& /*context*/) override {
    return std::make_unique<Win32Windows>(*clock_);
  }
  std::shared_ptr<VisaBinding> MakeVisa() override { return standalone_.MakeVisa(); }
  void BreakIfDebuggerAttached() override { standalone_.BreakIfDebuggerAttached(); }

 private:
  static StandaloneHostConfig Configure(const ServerSettings& settings,
                                        const std::shared_ptr<Clock>& clock) {
    StandaloneHostConfig config;
    config.deviceList = settings.deviceList;
    config.traceFile = settings.traceFile;
    config.clock = clock;
    // The host application is there to see it.
    config.waitWindowAllowed = true;
    config.lan = std::make_shared<TcpLanSockets>(clock);
    const std::filesystem::path deviceList = settings.deviceList;
    config.makeGpib = [deviceList, clock]() -> std::unique_ptr<HostGpib> {
      std::map<int, std::string> boards;
      if (!deviceList.empty()) boards = DeviceListFile(deviceList).Current().gpibBackends;
      return MakeGpibService(boards, clock, StandardGpibBackends());
    };
    return config;
  }

  std::shared_ptr<Clock> clock_;
  StandaloneHostFactory standalone_;
};

// Installed when the configuration is wrong: every service raises the configuration's error,
// so the host reads it from the first member that needs a service.
class MisconfiguredFactory final : public HostServiceFactory {
 public:
  // Stored to be thrown later by every service, not a forgotten throw.
  // NOLINTNEXTLINE(bugprone-throw-keyword-missing)
  explicit MisconfiguredFactory(MarlinError error) : error_(std::move(error)) {}
  std::unique_ptr<HostTrace> MakeTrace(const Host& /*context*/) override { throw error_; }
  std::unique_ptr<HostGpib> MakeGpib() override { throw error_; }
  std::unique_ptr<HostDevList> MakeDevList() override { throw error_; }
  std::unique_ptr<HostTools> MakeTools() override { throw error_; }
  std::unique_ptr<HostMessage> MakeMessage(const Host& /*context*/) override { throw error_; }
  std::unique_ptr<HostTexts> MakeTexts() override { throw error_; }
  std::unique_ptr<HostWindows> MakeWindows(const Host& /*context*/) override { throw error_; }
  std::shared_ptr<VisaBinding> MakeVisa() override { throw error_; }

 private:
  MarlinError error_;
};

std::mutex installMutex;
bool installedWell = false;

}  // namespace

// A configuration that failed is read again at the next object's creation, so that a corrected
// setting takes effect without restarting the host.
void InstallServerHost() {
  std::lock_guard lock(installMutex);
  if (installedWell) return;
  try {
    InstallHostServiceFactory(std::make_shared<ServerHostFactory>(ReadServerSettings()));
    installedWell = true;
  } catch (...) {
    try {
      InstallHostServiceFactory(std::make_shared<MisconfiguredFactory>(CurrentError()));
    } catch (...) {
      // Out of memory: no factory, and every service raises 429.
    }
  }
}

}  // namespace marlin::com
