// marlinctl: the command line of the Marlin driver for lab engineers and scripted hosts.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/demo.h"
#include "app/device_commands.h"
#include "app/exit_codes.h"
#include "app/panel/panel_command.h"
#include "app/shell_command.h"
#include "app/trace_report_command.h"
#include "app/usage.h"
#include "platform/console.h"

namespace {

using namespace marlin::cli;

int Run(const std::vector<std::string>& args) {
  const CliOptions options = ParseCommandLine(args);
  if (options.help) {
    std::cout << (options.command == CliCommand::Help ? OverallUsage()
                                                      : CommandUsage(options.command));
    return exit_code::kSuccess;
  }
  switch (options.command) {
    case CliCommand::Help:
      std::cout << (options.helpTopic ? TopicUsage(*options.helpTopic) : OverallUsage());
      return exit_code::kSuccess;
    case CliCommand::Demo:
      return RunDemo(options, std::cout);
    case CliCommand::Shell:
      return RunShell(options, std::cin, std::cout, std::cerr);
    case CliCommand::Panel:
      return RunPanel(options, std::cout, std::cerr);
    case CliCommand::TraceReport:
      return RunTraceReport(options, std::cout, std::cerr);
    default:
      return RunDeviceCommand(options, std::cout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  marlin::platform::PrepareConsole();
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const CliFailure& e) {
    std::cout << std::flush;
    std::cerr << "marlinctl: " << e.what() << "\n";
    if (e.ExitCode() == exit_code::kBadUsage) {
      std::cerr << "Run \"marlinctl --help\" for the commands and their options.\n";
    }
    return e.ExitCode();
  } catch (const std::exception& e) {
    std::cout << std::flush;
    std::cerr << "marlinctl: " << e.what() << "\n";
    return exit_code::kConfiguration;
  }
}
