#include "app/usage.h"

#include "app/exit_codes.h"
#include "app/shell_syntax.h"

namespace marlin::cli {
namespace {

constexpr const char* kHostOptions =
    R"(  --devices FILE       the device list (else $MARLIN_DEVICES, else
                       $XDG_CONFIG_HOME/marlin/devices.toml or ~/.config/marlin/devices.toml)
  --trace FILE         append the driver's trace as JSON Lines to FILE
  --time-scale F       every host wait lasts 1/F of its length (default 1)
  --wait-window on|off whether the PA4520's wait window may be shown (default on)
)";

constexpr const char* kExitStatus =
    R"(Exit status: 0 success, 1 driver error, 2 bad usage, 3 connection failure,
4 device list or trace file missing or broken (trace-report: a trace with no record, a report
that cannot be written).
)";

std::string DeviceCommand(const std::string& synopsis, const std::string& what,
                          const std::string& extra, const std::string& examples) {
  return "Usage: marlinctl " + synopsis + "\n" + what + "\n\nOptions:\n" + extra + kHostOptions +
         "\nExamples:\n" + examples + "\n" + kExitStatus;
}

}  // namespace

std::string OverallUsage() {
  return std::string(R"(Usage: marlinctl COMMAND [ARGUMENTS] [OPTIONS]
Remote control of broadband RF power amplifiers through the Marlin driver.

Commands:
  demo                    the main job end to end against a built-in simulator
  identify DEVICE         connect to a device of the device list and identify it
  state DEVICE            read the power state
  set DEVICE STATE        switch to off, on, standby or operate
  errors DEVICE           read the instrument's error queue until it is empty
  reset DEVICE            reset faults (clears the instrument's status)
  shell                   a host console: one driver call per line on stdin
  panel                   a soft front panel in the browser for every device of the list
  trace-report TRACE -o F a trace file as an HTML report with the session's timeline
  help [COMMAND]          this text, or a command's own

Run "marlinctl COMMAND --help" for a command's options and examples.

Examples:
  marlinctl demo
  marlinctl demo --model PA4520 --route gpib
  marlinctl state AMP1 --devices lab.toml
  marlinctl set AMP1 operate --band 2 --mode 0 --class 1
  marlinctl trace-report marlin-trace.jsonl -o report.html

)") + kExitStatus;
}

namespace {

std::string DemoUsage() {
  return std::string(R"(Usage: marlinctl demo [OPTIONS]
Starts a simulated amplifier in this process, writes a temporary device list naming it DEMO,
then connects, identifies, initialises, switches to Operate on a band path, reads the state and
the error queue, switches to Standby and Off, and disconnects. Every wait is shown with what it
waits for, how long it has taken and its limit; a summary ends the run.

Options:
  --model M            PA4400 (default), PA4413, PA4415 or PA4520
  --route R            lan (default), visa, or gpib (through a simulated GPIB gateway)
  --band N             band path for Operate, 1 to 10 (default 2)
  --fault SPEC         make the simulator misbehave (repeatable), as marlin-sim --fault:
                       silent, garbage, overlong=BYTES, no-terminator, slow=MS, late=MS, drop,
                       band-stuck, error=CODE:TEXT, fault=CODE:TEXT, lock=OWNER
  --time-scale F       waits and switching times last 1/F of their length (default 10)
  --trace FILE         append the driver's trace as JSON Lines to FILE
  --wait-window on|off show the PA4520's wait window (default on; s is STOP on a terminal)

Examples:
  marlinctl demo
  marlinctl demo --model PA4520 --route visa
  marlinctl demo --route gpib --time-scale 50 --trace demo-trace.jsonl
  marlinctl demo --model PA4415 --fault lock=FRONT     (Operate refused: error 4081)

)") + kExitStatus;
}

std::string ShellUsage() {
  return std::string(R"(Usage: marlinctl shell [OPTIONS]
A host console for lab scripts: one command per line on stdin, exactly one result line per
command on stdout: "ok", "ok VALUE" or "error NUMBER DESCRIPTION". Numbers are decimal, texts
(descriptions included) JSON strings, arrays JSON arrays. An empty line is skipped; end of input
ends the console like quit. The console starts with one driver object.

Commands:
)") + ShellCommandSummary() +
         R"(
Options:
  --devices FILE       the device list (else $MARLIN_DEVICES, else the per-user default)
  --trace FILE         append the driver's trace as JSON Lines to FILE
  --time-scale F       every host wait lasts 1/F of its length (default 1)
  --wait-window on|off HostMessage.Context is an object with Enabled true (default off)

Example:
  printf 'name AMP1\nstatus 1\ncheck\nget status\ngetstate\nquit\n' | marlinctl shell
  ok
  ok
  ok
  ok 1
  ok 0
  ok

)" + kExitStatus;
}

std::string PanelUsage() {
  return std::string(R"(Usage: marlinctl panel [OPTIONS]
Serves a soft front panel for every device of the device list on a local web page and prints
one line, its address with this run's token: open it in a browser. Each device has its own
driver object; the page connects, initialises, switches (Off, On, Standby, Operate with band
path, output mode and operating class), resets faults, reads the error queue and the state, and
shows every wait live, the PA4520's wait window with its STOP included. What it shows of an
amplifier is read back from it after every action. The first SIGINT or SIGTERM lets running
actions end, prints the amplifiers left with RF on, disconnects every device and ends the panel
with status 0; a second ends it at once.

Options:
  --port N             the port, 0 to 65535 (default 0: a free port)
  --bind ADDRESS       listen on this IP address instead of 127.0.0.1 (warns: the network can
                       then reach the panel; the token still guards every request)
  --poll SECONDS       read the state of connected devices this often (default: never)
  --open               open the panel in the default browser
)") + kHostOptions +
         R"(
Examples:
  marlinctl panel
  marlinctl panel --devices lab.toml --port 8470 --trace panel-trace.jsonl
  marlinctl panel --poll 5

API: GET /api/devices, GET /api/devices/NAME/log, POST /api/devices/NAME/connect|disconnect|
initialize|resetfault|errors|read|state|stop, POST /api/rf-off, GET /api/events (server-sent
events), GET /api/timeline; the token in the header X-Marlin-Token (or ?token= for /api/events).

)" + kExitStatus;
}

std::string TraceReportUsage() {
  return std::string(R"(Usage: marlinctl trace-report TRACE -o REPORT.html
Reads a trace file (JSON Lines, as --trace and the COM server write it) and writes one
self-contained HTML page: a summary (instances, duration, errors, longest waits) and the
session's timeline, a lane per instance with procedures nested as bars, waits shaded with their
limits, instrument lines as ticks and errors marked. Nothing in the page is fetched.
Lines that are no trace record (a line a process left half written) are skipped with a warning
naming the line. Records without a time (traces of older versions) are placed by their order.

Options:
  -o, --output FILE    the report written (replaced when it exists)

Examples:
  marlinctl shell --trace session.jsonl < script.txt
  marlinctl trace-report session.jsonl -o session.html

)") + kExitStatus;
}

}  // namespace

std::string CommandUsage(CliCommand command) {
  switch (command) {
    case CliCommand::Demo:
      return DemoUsage();
    case CliCommand::Identify:
      return DeviceCommand(
          "identify DEVICE [OPTIONS]",
          "Connects to DEVICE of the device list, identifies it and prints its "
          "route, identification, serial number, firmware and model.",
          "", "  marlinctl identify AMP1\n  marlinctl identify AMP1 --devices lab.toml\n");
    case CliCommand::State:
      return DeviceCommand("state DEVICE [OPTIONS]",
                           "Connects to DEVICE and prints its state: Off, On, Standby, Operate "
                           "or Fault.",
                           "", "  marlinctl state AMP1\n");
    case CliCommand::Set:
      return DeviceCommand(
          "set DEVICE off|on|standby|operate [--band N --mode N --class N] [OPTIONS]",
          "Connects to DEVICE, switches it to the state and prints the state it reached. The\n"
          "PA4413, PA4415 and PA4520 carry out off and on as standby.",
          "  --band N             band path for operate, 0 to 10 (0: keep the active one)\n"
          "  --mode N             output mode for operate (PA4413, firmware 3.3 and later)\n"
          "  --class N            operating class for operate (PA4413, firmware 3.3 and later)\n",
          "  marlinctl set AMP1 operate --band 2\n  marlinctl set AMP1 standby\n");
    case CliCommand::Errors:
      return DeviceCommand("errors DEVICE [--max N] [OPTIONS]",
                           "Connects to DEVICE and reads its error queue until no error is left, "
                           "at most N entries.",
                           "  --max N              most entries read, 1 to 1000 (default 20)\n",
                           "  marlinctl errors AMP1\n  marlinctl errors AMP1 --max 5\n");
    case CliCommand::Reset:
      return DeviceCommand("reset DEVICE [OPTIONS]",
                           "Connects to DEVICE and resets its faults (*CLS, then a 500 ms pause).",
                           "", "  marlinctl reset AMP1\n");
    case CliCommand::Shell:
      return ShellUsage();
    case CliCommand::Panel:
      return PanelUsage();
    case CliCommand::TraceReport:
      return TraceReportUsage();
    case CliCommand::Help:
      return OverallUsage();
  }
  return OverallUsage();
}

std::string TopicUsage(const std::string& topic) {
  for (CliCommand command :
       {CliCommand::Demo, CliCommand::Identify, CliCommand::State, CliCommand::Set,
        CliCommand::Errors, CliCommand::Reset, CliCommand::Shell, CliCommand::Panel,
        CliCommand::TraceReport, CliCommand::Help}) {
    if (CommandWord(command) == topic) return CommandUsage(command);
  }
  throw UsageError("help: unknown command \"" + topic + "\"");
}

}  // namespace marlin::cli
