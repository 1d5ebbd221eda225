#include "app/device_commands.h"

#include <ostream>

#include "app/connected_amplifier.h"
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

void Identify(ConnectedAmplifier& connected, std::ostream& out) {
  clsMarlin& amp = connected.Amp();
  const clsMarlin::Snapshot fields = amp.Fields();
  const InfoRecord info = amp.clsDevice_Info();
  out << Shown(connected.Device()) << "  " << Printable(amp.clsDevice_Description()) << "\n"
      << "  route           " << RouteText(fields) << " (interface " << fields.Interface << ")\n"
      << "  identification  " << AnswerText(info.Member2) << "\n";
  if (!info.Member3.empty()) out << "  serial          " << AnswerText(info.Member3) << "\n";
  out << "  firmware        " << fields.FirmwareVersion << "\n"
      << "  model           " << ModelText(fields) << "\n";
}

void SetState(ConnectedAmplifier& connected, const CliOptions& options, WaitTracker& tracker,
              std::ostream& out) {
  clsMarlin& amp = connected.Amp();
  if (options.band || options.mode || options.operatingClass) {
    AmplParamsRecord params;
    params.BandPath = options.band.value_or(0);
    params.OutputMode = options.mode.value_or(0);
    params.OperatingClass = options.operatingClass.value_or(0);
    amp.clsIAmpRemote_AmplParams_Let(params);
  }
  out << Shown(connected.Device()) << ": switching to " << clsMarlin::StateName(options.targetState)
      << "\n"
      << std::flush;
  tracker.Reset();
  amp.clsIAmpRemote_SetState(options.targetState);
  tracker.Reset();
  const std::int32_t reached = amp.clsIAmpRemote_GetState();
  out << Shown(connected.Device()) << ": " << StateText(reached) << "\n";
}

void ReadErrors(ConnectedAmplifier& connected, std::int32_t most, std::ostream& out) {
  std::int32_t read = 0;
  for (; read < most; ++read) {
    const std::string entry = connected.Amp().clsIAmpRemoteExt_CheckForError();
    if (entry.empty()) break;
    out << Shown(connected.Device()) << ": " << AnswerText(entry) << "\n" << std::flush;
  }
  if (read == 0) out << Shown(connected.Device()) << ": no error queued\n";
  if (read == most) {
    out << Shown(connected.Device()) << ": stopped after " << most
        << " entries; more may be queued\n";
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
    ConnectedAmplifier connected(options.device, host);
    clsMarlin& amp = connected.Amp();
    tracker->Reset();
    switch (options.command) {
      case CliCommand::Identify:
        Identify(connected, out);
        break;
      case CliCommand::State: {
        const std::int32_t state = amp.clsIAmpRemote_GetState();
        out << Shown(options.device) << ": " << StateText(state) << "\n";
        break;
      }
      case CliCommand::Set:
        SetState(connected, options, *tracker, out);
        break;
      case CliCommand::Errors:
        ReadErrors(connected, options.maxErrors, out);
        break;
      case CliCommand::Reset:
        amp.clsIAmpRemote_ResetFault();
        out << Shown(options.device) << ": faults reset\n";
        break;
      default:
        throw UsageError("not a device command: " + CommandWord(options.command));
    }
  } catch (const MarlinError& e) {
    throw CliFailure(exit_code::kDriverError, Shown(options.device) + ": error " +
                                                  std::to_string(e.Number()) + ": " +
                                                  AnswerText(e.Description()));
  }
  out << std::flush;
  return exit_code::kSuccess;
}

}  // namespace marlin::cli
