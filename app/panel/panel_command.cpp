#include "app/panel/panel_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <ostream>
#include <thread>

#include "app/device_list_location.h"
#include "app/exit_codes.h"
#include "app/host_setup.h"
#include "app/panel/device_worker.h"
#include "app/panel/event_hub.h"
#include "app/panel/panel_host.h"
#include "app/panel/panel_server.h"
#include "app/panel/trace_lines.h"
#include "host/device_list_file.h"

namespace marlin::cli {
namespace {

constexpr const char* kLoopback = "127.0.0.1";

// SIGINT and SIGTERM wait for this thread alone; every thread made later inherits the mask.
class TerminationSignals {
 public:
  TerminationSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &before_);
  }
  ~TerminationSignals() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  void Await() const {
    int signal = 0;
    sigwait(&set_, &signal);
  }

 private:
  sigset_t set_{};
  sigset_t before_{};
};

}  // namespace

int RunPanel(const CliOptions& options, std::ostream& out, std::ostream& err) {
  const DeviceListLocation list = LocateDeviceList(options.host.devices, ProcessEnvironment);
  CheckDeviceList(list);
  const DeviceList devices = DeviceListFile(list.path).Current();

  const TerminationSignals signals;
  auto clock = std::make_shared<RealClock>(options.host.timeScale.value_or(1.0));
  auto trace = std::make_shared<panel::TraceLines>();
  HostPlan plan;
  plan.deviceList = list.path;
  plan.traceFile = options.host.trace.value_or("");
  plan.clock = clock;
  plan.waitWindow = options.host.waitWindow.value_or(true);
  // The observer runs on the thread that traces: its device is who wrote the line.
  plan.traceLines = [trace](const std::string& line) { trace->Add(panel::ThreadDevice(), line); };
  // Slices of 100 ms of real time: live enough for the page, few events.
  const double sliceMs = 100 * clock->Scale();
  plan.wrap = [sliceMs](std::shared_ptr<HostServiceFactory> inner) {
    return std::make_shared<panel::PanelHostFactory>(std::move(inner), sliceMs);
  };
  HostSetup host(plan);

  panel::EventHub events;
  std::optional<std::chrono::milliseconds> poll;
  if (options.pollSeconds) {
    poll = std::chrono::milliseconds(static_cast<std::int64_t>(*options.pollSeconds * 1000));
  }
  std::vector<std::unique_ptr<panel::DeviceWorker>> workers;
  for (const auto& [name, entry] : devices.devices) {
    workers.push_back(
        std::make_unique<panel::DeviceWorker>(name, entry.description, clock, host, events, poll));
  }

  const std::string address = options.bind.value_or(kLoopback);
  if (options.bind && *options.bind != kLoopback) {
    err << "marlinctl panel: warning: listening on " << address
        << ": anyone who can reach it and knows the token controls the amplifiers\n"
        << std::flush;
  }
  const std::string token = panel::NewToken();
  panel::PanelServer server(workers, events, *trace, token);
  int port = 0;
  try {
    port = server.Bind(address, options.port);
  } catch (const std::exception& e) {
    throw CliFailure(exit_code::kConfiguration, e.what());
  }
  std::thread serving([&server] {
    if (!server.Serve()) kill(getpid(), SIGTERM);
  });
  const bool reachableOnLoopback = address == kLoopback || address == "0.0.0.0" || address == "::";
  out << "marlinctl panel: http://" << (reachableOnLoopback ? kLoopback : address) << ":" << port
      << "/?token=" << token << "\n"
      << std::flush;

  signals.Await();
  server.Stop();
  // A running wait window closes at once; a running action ends within its own limits.
  for (const auto& worker : workers) worker->Stop();
  serving.join();
  workers.clear();
  return exit_code::kSuccess;
}

}  // namespace marlin::cli
