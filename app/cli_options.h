#pragma once
// marlinctl's command line: a command, its arguments and its options, checked before anything
// runs. Every wrong value is a usage error naming the option and the value.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/amplifier_config.h"

namespace marlin::cli {

enum class CliCommand {
  Help,
  Demo,
  Identify,
  State,
  Set,
  Errors,
  Reset,
  Shell,
  Panel,
  TraceReport
};
enum class Route { Lan, Visa, Gpib };

struct HostOptions {
  std::optional<std::string> devices;
  std::optional<std::string> trace;
  std::optional<double> timeScale;  // unset: the command's default
  std::optional<bool> waitWindow;   // unset: the command's default
};

struct CliOptions {
  CliCommand command = CliCommand::Help;
  bool help = false;                     // --help after a command: that command's help
  std::optional<std::string> helpTopic;  // marlinctl help COMMAND
  HostOptions host;
  std::string device;                                      // identify, state, set, errors, reset
  std::int32_t targetState = 0;                            // set
  std::optional<std::int32_t> band, mode, operatingClass;  // set operate
  std::int32_t maxErrors = 20;                             // errors
  std::string model = sim::kDefaultModel;                  // demo
  Route route = Route::Lan;                                // demo
  std::int32_t demoBand = 2;                               // demo
  std::vector<std::string> faults;    // demo: the simulator's fault specifications
  std::int32_t port = 0;              // panel: 0 picks a free port
  std::optional<std::string> bind;    // panel: an IP address; unset: loopback
  std::optional<double> pollSeconds;  // panel: unset: the amplifiers are never polled
  bool openBrowser = false;           // panel: open the printed address in the default browser
  std::string traceInput;             // trace-report: the trace file read
  std::string reportOutput;           // trace-report: the HTML report written (-o)
};

inline constexpr double kDemoTimeScale = 10;
inline constexpr std::int32_t kMostErrorsRead = 1000;
inline constexpr double kShortestPoll = 0.1;
inline constexpr double kLongestPoll = 86400;

// `args` without the program name. Throws a usage CliFailure.
CliOptions ParseCommandLine(const std::vector<std::string>& args);

std::string CommandWord(CliCommand command);
std::string RouteWord(Route route);

}  // namespace marlin::cli
