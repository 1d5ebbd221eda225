#include "app/device_commands.h"

#include <ostream>

#include "app/amplifier_session.h"
#include "app/device_list_location.h"
#include "app/exit_codes.h"
#include "app/host_setup.h"
#include "app/progress_display.h"
#include "driver/marlin_error.h"
#include "host/printable_text.h"
#include "platform/console.h"

namespace marlin::cli {
namespace {

// A device name as the user gave it, made safe to print.
std::string Shown(const std::string& device) { return Printable(Capped(device)); }

std::string StateText(std::int32_t code) {
  return clsMarlin::StateName(code) + " (" + std::to_string(code) + ")";
}

void Identify(AmplifierSession& session, std::ostream& out) {
  const SessionIdentity identity = session.Identify();
  out << Shown(session.Device()) << "  " << Printable(identity.description) << "\n"
      << "  route           " << identity.route << " (interface " << identity.interfaceCode << ")\n"
      << "  identification  " << identity.identification << "\n";
  if (!identity.serial.empty()) out << "  serial          " << identity.serial << "\n";
  out << "  firmware        " << identity.firmware << "\n"
      << "  model           " << identity.model << "\n";
}

void SetState(AmplifierSession& session, const CliOptions& options, std::ostream& out) {
  SwitchRequest request;
  request.state = options.targetState;
  if (options.band || options.mode || options.operatingClass) {
    request.params = SwitchParams{options.band.value_or(0), options.mode.value_or(0),
                                  options.operatingClass.value_or(0)};
  }
  out << Shown(session.Device()) << ": switching to " << clsMarlin::StateName(options.targetState)
      << "\n"
      << std::flush;
  session.SetState(request);
  out << Shown(session.Device()) << ": " << StateText(session.State()) << "\n";
}

void ReadErrors(AmplifierSession& session, std::int32_t most, std::ostream& out) {
  ErrorReading reading;
  reading.most = most;
  reading.each = [&](const QueuedError& entry) {
    out << Shown(session.Device()) << ": " << entry.text << "\n" << std::flush;
  };
  const ErrorQueue queue = session.ReadErrors(reading);
  if (queue.entries.empty() && !queue.more) {
    out << Shown(session.Device()) << ": no error queued\n";
  }
  if (queue.more) {
    out << Shown(session.Device()) << ": stopped after " << most
        << " entries; more may be queued\n";
  }
}

// Connects, runs the command and disconnects whatever happened.
void RunConnected(const CliOptions& options, const HostSetup& host,
                  const std::shared_ptr<WaitTracker>& tracker, std::ostream& out) {
  AmplifierSession session(options.device, host, tracker);
  try {
    session.Connect();
  } catch (const NotConnected& e) {
    throw CliFailure(exit_code::kConnectionFailure, Shown(options.device) + ": " + e.Description());
  }
  switch (options.command) {
    case CliCommand::Identify:
      Identify(session, out);
      break;
    case CliCommand::State:
      out << Shown(options.device) << ": " << StateText(session.State()) << "\n";
      break;
    case CliCommand::Set:
      SetState(session, options, out);
      break;
    case CliCommand::Errors:
      ReadErrors(session, options.maxErrors, out);
      break;
    case CliCommand::Reset:
      session.ResetFault();
      out << Shown(options.device) << ": faults reset\n";
      break;
    default:
      throw UsageError("not a device command: " + CommandWord(options.command));
  }
}

}  // namespace

int RunDeviceCommand(const CliOptions& options, std::ostream& out) {
  const DeviceListLocation list = LocateDeviceList(options.host.devices, ProcessEnvironment);
  CheckDeviceList(list);
  CheckDeviceListed(list, options.device);

  ProgressDisplay display(out, platform::IsConsole(platform::ConsoleStream::Output), "  ");
  auto clock = std::make_shared<RealClock>(options.host.timeScale.value_or(1.0));
  auto tracker = std::make_shared<WaitTracker>(clock, display);
  HostPlan plan;
  plan.deviceList = list.path;
  plan.traceFile = options.host.trace.value_or("");
  plan.clock = clock;
  plan.waitWindow = options.host.waitWindow.value_or(true);
  plan.tracker = tracker;
  plan.sliceMs = 100 * clock->Scale();
  HostSetup host(plan);

  try {
    RunConnected(options, host, tracker, out);
  } catch (const MarlinError& e) {
    throw CliFailure(exit_code::kDriverError, Shown(options.device) + ": error " +
                                                  std::to_string(e.Number()) + ": " +
                                                  AnswerText(e.Description()));
  }
  out << std::flush;
  return exit_code::kSuccess;
}

}  // namespace marlin::cli
