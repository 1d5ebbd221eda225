#include "app/shell_command.h"

#include <ostream>

#include "app/device_list_location.h"
#include "app/exit_codes.h"
#include "app/host_setup.h"
#include "app/line_editor.h"
#include "app/shell_console.h"
#include "app/shell_syntax.h"

namespace marlin::cli {
namespace {
constexpr const char* kPrompt = "marlin> ";
}  // namespace

int RunShell(const CliOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  const DeviceListLocation list = LocateDeviceList(options.host.devices, ProcessEnvironment);
  // The list is read at each use, so it may still appear; the commands that need it say so.
  std::error_code ec;
  if (!std::filesystem::exists(list.path, ec)) {
    err << "marlinctl shell: the device list \"" << list.path.string() << "\" (from " << list.origin
        << ") does not exist yet\n";
  }
  HostPlan plan;
  plan.deviceList = list.path;
  plan.traceFile = options.host.trace.value_or("");
  plan.clock = std::make_shared<RealClock>(options.host.timeScale.value_or(1.0));
  plan.waitWindow = options.host.waitWindow.value_or(false);
  HostSetup host(plan);
  ShellSession session;
  const auto lines = ConsoleLines(in, kPrompt, kLongestShellLine);
  RunConsole(*lines, session, out);
  return exit_code::kSuccess;
}

}  // namespace marlin::cli
