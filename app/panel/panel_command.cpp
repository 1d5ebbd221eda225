#include "app/panel/panel_command.h"

#include <cstdlib>
#include <ostream>
#include <thread>

#include "app/device_list_location.h"
#include "app/exit_codes.h"
#include "app/host_setup.h"
#include "app/panel/device_worker.h"
#include "app/panel/event_hub.h"
#include "app/panel/panel_server.h"
#include "app/panel/trace_lines.h"
#include "driver/records.h"
#include "host/device_list_file.h"
#include "platform/open_in_browser.h"
#include "platform/termination_requests.h"

namespace marlin::cli {
namespace {

constexpr const char* kLoopback = "127.0.0.1";

// What each amplifier was left in, as last read back: the ones with RF on, or not known.
void ReportRfLeftOn(const std::vector<std::unique_ptr<panel::DeviceWorker>>& workers,
                    std::ostream& out) {
  bool any = false;
  for (const auto& worker : workers) {
    const panel::DeviceView view = worker->View();
    if (!view.connected) continue;
    if (view.state == state::kOperate) {
      out << "marlinctl panel: " << view.name << " was left with RF on (Operate"
          << (view.bandPath ? ", band path " + std::to_string(*view.bandPath) : "") << ")\n";
      any = true;
    } else if (!view.state || view.state == state::kFault) {
      out << "marlinctl panel: " << view.name
          << " may have RF on: " << (view.state ? "it reads back Fault" : "it did not answer")
          << "\n";
      any = true;
    }
  }
  if (!any) out << "marlinctl panel: no amplifier was left with RF on\n";
  out << std::flush;
}

HostPlan PanelPlan(const CliOptions& options, const DeviceListLocation& list,
                   const std::shared_ptr<RealClock>& clock,
                   const std::shared_ptr<panel::TraceLines>& trace) {
  HostPlan plan;
  plan.deviceList = list.path;
  plan.traceFile = options.host.trace.value_or("");
  plan.clock = clock;
  plan.waitWindow = options.host.waitWindow.value_or(true);
  // Slices of 100 ms of real time: live enough for the page, few events.
  plan.sliceMs = 100 * clock->Scale();
  plan.traceLines = [trace](const std::string& line, const std::string& device) {
    trace->Add(device, line);
  };
  return plan;
}

// An IPv6 address goes in brackets, or the printed address does not open.
std::string ShownAddress(const std::string& address) {
  const bool reachableOnLoopback = address == kLoopback || address == "0.0.0.0" || address == "::";
  if (reachableOnLoopback) return kLoopback;
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// A running wait window closes at once; a running action ends within its own limits, then
// each device's state is read once more, all devices at once.
void Quiesce(const std::vector<std::unique_ptr<panel::DeviceWorker>>& workers) {
  for (const auto& worker : workers) worker->Stop();
  std::vector<std::thread> quiescing;
  quiescing.reserve(workers.size());
  for (const auto& worker : workers) {
    quiescing.emplace_back([&worker] { worker->Quiesce(); });
  }
  for (std::thread& t : quiescing) t.join();
}

}  // namespace

int RunPanel(const CliOptions& options, std::ostream& out, std::ostream& err) {
  const DeviceListLocation list = LocateDeviceList(options.host.devices, ProcessEnvironment);
  CheckDeviceList(list);
  const DeviceList devices = DeviceListFile(list.path).Current();

  const platform::TerminationRequests signals;
  auto clock = std::make_shared<RealClock>(options.host.timeScale.value_or(1.0));
  auto trace = std::make_shared<panel::TraceLines>();
  HostSetup host(PanelPlan(options, list, clock, trace));

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
  if (options.bind && *options.bind != kLoopback && *options.bind != "::1") {
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
  std::thread serving([&server, &signals] {
    if (!server.Serve()) signals.Request();
  });
  const std::string url =
      "http://" + ShownAddress(address) + ":" + std::to_string(port) + "/?token=" + token;
  out << "marlinctl panel: " << url << "\n" << std::flush;
  if (options.openBrowser && !platform::OpenInBrowser(url)) {
    err << "marlinctl panel: the default browser did not open; open the address above\n"
        << std::flush;
  }

  signals.Await();
  signals.EndAtTheNext(
      "marlinctl panel: second signal: ending now, without waiting for running actions\n");
  server.RefuseActions();
  out << "marlinctl panel: stopping once the running actions have ended (a second signal ends it"
         " at once)\n"
      << std::flush;
  Quiesce(workers);
  ReportRfLeftOn(workers, out);
  server.Stop();
  serving.join();
  for (const auto& worker : workers) worker->Leave();
  workers.clear();
  return exit_code::kSuccess;
}

}  // namespace marlin::cli
