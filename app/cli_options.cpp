#include "app/cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

#include "app/exit_codes.h"
#include "host/printable_text.h"
#include "platform/ip_address.h"
#include "sim/amplifier_config.h"
#include "sim/options.h"
#include "text/option_table.h"

namespace marlin::cli {
namespace {

constexpr double kFastestTimeScale = 1e6;
// Slower still, a wait of seconds would outlast any session.
constexpr double kSlowestTimeScale = 1e-3;
// Options a command line may give more than once; any other given twice is a mistake.
constexpr std::string_view kRepeatable = "--fault";
constexpr std::int32_t kHighestBand = 10;
// The one short option, as report tools are used to it.
constexpr std::string_view kShortOutput = "-o";
constexpr std::string_view kOutput = "--output";
constexpr std::string_view kHelp = "--help";
constexpr std::string_view kShortHelp = "-h";

struct StateWord {
  std::string_view word;
  std::int32_t code;
};
constexpr std::array kStates{StateWord{"off", 0}, StateWord{"on", 1}, StateWord{"standby", 2},
                             StateWord{"operate", 3}};
constexpr std::int32_t kOperate = 3;

struct RouteName {
  std::string_view word;
  Route route;
};
constexpr std::array kRoutes{RouteName{"lan", Route::Lan}, RouteName{"visa", Route::Visa},
                             RouteName{"gpib", Route::Gpib}};

struct CommandSpec {
  std::string_view word;
  CliCommand command;
  std::vector<std::string_view> positionals;
  std::vector<std::string_view> options;
};

const std::vector<CommandSpec>& Commands() {
  static const std::vector<std::string_view> host{"--devices", "--trace", "--time-scale",
                                                  "--wait-window"};
  const auto with = [](std::vector<std::string_view> more) {
    more.insert(more.end(), host.begin(), host.end());
    return more;
  };
  static const std::vector<CommandSpec> commands{
      {"demo",
       CliCommand::Demo,
       {},
       {"--model", "--route", "--band", "--fault", "--time-scale", "--trace", "--wait-window"}},
      {"identify", CliCommand::Identify, {"DEVICE"}, host},
      {"state", CliCommand::State, {"DEVICE"}, host},
      {"set", CliCommand::Set, {"DEVICE", "STATE"}, with({"--band", "--mode", "--class"})},
      {"errors", CliCommand::Errors, {"DEVICE"}, with({"--max"})},
      {"reset", CliCommand::Reset, {"DEVICE"}, host},
      {"shell", CliCommand::Shell, {}, host},
      {"panel", CliCommand::Panel, {}, with({"--port", "--bind", "--poll", "--open"})},
      {"trace-report", CliCommand::TraceReport, {"TRACE"}, {"--output"}},
      {"help", CliCommand::Help, {}, {}},
  };
  return commands;
}

[[noreturn]] void Bad(std::string_view option, std::string_view value, const std::string& why) {
  throw UsageError(std::string(option) + " \"" + Printable(Capped(value)) + "\": " + why);
}

std::int32_t Whole(std::string_view option, std::string_view value, std::int64_t low,
                   std::int64_t high) {
  std::int64_t number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() || number < low ||
      number > high) {
    Bad(option, value,
        "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<std::int32_t>(number);
}

double TimeScale(std::string_view option, std::string_view value) {
  double scale = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), scale);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
      !std::isfinite(scale) || scale < kSlowestTimeScale || scale > kFastestTimeScale) {
    Bad(option, value, "expected a number from 0.001 to 1000000");
  }
  return scale;
}

bool OnOff(std::string_view option, std::string_view value) {
  if (value == "on") return true;
  if (value == "off") return false;
  Bad(option, value, "expected on or off");
}

double PollSeconds(std::string_view option, std::string_view value) {
  double seconds = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
      !std::isfinite(seconds) || seconds < kShortestPoll || seconds > kLongestPoll) {
    Bad(option, value, "expected seconds from 0.1 to 86400");
  }
  return seconds;
}

std::string IpAddress(std::string_view option, std::string_view value) {
  std::string text(value);
  if (!platform::IsIpAddress(text)) {
    Bad(option, value, "expected an IPv4 or IPv6 address such as 127.0.0.1");
  }
  return text;
}

std::string FileName(std::string_view option, std::string_view value) {
  if (value.empty()) Bad(option, value, "expected a file name");
  return std::string(value);
}

using Table = text::OptionTable<CliOptions>;

// Options the commands that reach a device share.
std::vector<Table::Option> HostOptions() {
  return {
      {"--devices", true,
       [](CliOptions& o, auto name, auto& v) { o.host.devices = FileName(name, v); }},
      {"--trace", true,
       [](CliOptions& o, auto name, auto& v) { o.host.trace = FileName(name, v); }},
      {"--time-scale", true,
       [](CliOptions& o, auto name, auto& v) { o.host.timeScale = TimeScale(name, v); }},
      {"--wait-window", true,
       [](CliOptions& o, auto name, auto& v) { o.host.waitWindow = OnOff(name, v); }},
  };
}

void ApplyBand(CliOptions& o, std::string_view name, const std::string& v) {
  const std::int32_t band = Whole(name, v, o.command == CliCommand::Demo ? 1 : 0, kHighestBand);
  if (o.command == CliCommand::Demo) {
    o.demoBand = band;
  } else {
    o.band = band;
  }
}

void ApplyModel(CliOptions& o, std::string_view name, const std::string& v) {
  const auto known = std::find(std::begin(sim::kModels), std::end(sim::kModels), v);
  if (known == std::end(sim::kModels)) Bad(name, v, "expected PA4400, PA4413, PA4415 or PA4520");
  o.model = v;
}

void ApplyFault(CliOptions& o, std::string_view name, const std::string& v) {
  sim::Faults faults;
  std::optional<std::string> lockOwner;
  try {
    sim::ApplyFaultSpec(v, faults, lockOwner);
  } catch (const std::invalid_argument& e) {
    Bad(name, v, e.what());
  }
  o.faults.push_back(v);
}

void ApplyRoute(CliOptions& o, std::string_view name, const std::string& v) {
  for (const RouteName& r : kRoutes) {
    if (r.word == v) {
      o.route = r.route;
      return;
    }
  }
  Bad(name, v, "expected lan, visa or gpib");
}

// Every option of every command; each command names those it takes (Commands).
const Table& Options() {
  static const Table table = [] {
    std::vector<Table::Option> options{
        {kHelp, false, [](CliOptions& o, auto, auto&) { o.help = true; }, kShortHelp},
        {kOutput, true,
         [](CliOptions& o, auto name, auto& v) { o.reportOutput = FileName(name, v); },
         kShortOutput},
        {"--band", true, ApplyBand},
        {"--mode", true,
         [](CliOptions& o, auto name, auto& v) { o.mode = Whole(name, v, 0, INT32_MAX); }},
        {"--class", true,
         [](CliOptions& o, auto name, auto& v) {
           o.operatingClass = Whole(name, v, 0, INT32_MAX);
         }},
        {"--port", true,
         [](CliOptions& o, auto name, auto& v) { o.port = Whole(name, v, 0, 65535); }},
        {"--bind", true, [](CliOptions& o, auto name, auto& v) { o.bind = IpAddress(name, v); }},
        {"--poll", true,
         [](CliOptions& o, auto name, auto& v) { o.pollSeconds = PollSeconds(name, v); }},
        {"--open", false, [](CliOptions& o, auto, auto&) { o.openBrowser = true; }},
        {"--max", true,
         [](CliOptions& o, auto name, auto& v) {
           o.maxErrors = Whole(name, v, 1, kMostErrorsRead);
         }},
        {"--model", true, ApplyModel},
        {"--fault", true, ApplyFault},
        {"--route", true, ApplyRoute},
    };
    for (Table::Option& option : HostOptions()) options.push_back(std::move(option));
    return Table(std::move(options));
  }();
  return table;
}

std::int32_t TargetState(std::string_view word) {
  for (const StateWord& s : kStates) {
    if (s.word == word) return s.code;
  }
  throw UsageError("unknown state \"" + std::string(word) +
                   "\": expected off, on, standby or operate");
}

void Positional(CliOptions& options, std::string_view slot, const std::string& value) {
  if (slot == "DEVICE") {
    options.device = value;
  } else if (slot == "STATE") {
    options.targetState = TargetState(value);
  } else if (slot == "TRACE") {
    options.traceInput = FileName(slot, value);
  }
}

// The words after the command, each option checked against those the command takes. Answers
// how many arguments without a dash were given.
std::size_t ReadArguments(const CommandSpec& spec, const std::vector<std::string>& args,
                          CliOptions& options) {
  const std::string first(spec.word);
  std::size_t positional = 0;
  std::vector<std::string> given;
  text::OptionRules rules;
  rules.valueAfterEquals = true;
  rules.unknown = [&](std::string_view name) {
    throw UsageError(first + ": unknown option " + Printable(Capped(name)));
  };
  rules.missingValue = [](std::string_view name) {
    throw UsageError(std::string(name) + " needs a value");
  };
  rules.positional = [&](const std::string& word) {
    if (positional >= spec.positionals.size()) {
      throw UsageError(first + ": unexpected argument \"" + Printable(Capped(word)) + "\"");
    }
    Positional(options, spec.positionals[positional++], word);
  };
  rules.check = [&](std::string_view name) {
    if (name == kHelp) return;  // any command's
    if (std::find(spec.options.begin(), spec.options.end(), name) == spec.options.end()) {
      rules.unknown(name);
    }
    if (name != kRepeatable && std::find(given.begin(), given.end(), name) != given.end()) {
      throw UsageError(first + ": " + std::string(name) + " is given twice; give it once");
    }
    given.emplace_back(name);
  };
  Options().Read(args, 1, options, rules);
  return positional;
}

}  // namespace

std::string CommandWord(CliCommand command) {
  for (const CommandSpec& spec : Commands()) {
    if (spec.command == command) return std::string(spec.word);
  }
  return {};
}

std::string RouteWord(Route route) {
  for (const RouteName& r : kRoutes) {
    if (r.route == route) return std::string(r.word);
  }
  return {};
}

CliOptions ParseCommandLine(const std::vector<std::string>& args) {
  CliOptions options;
  if (args.empty()) throw UsageError("a command is missing");
  const std::string& first = args.front();
  if (first == kHelp || first == kShortHelp) {
    if (args.size() > 1) throw UsageError("--help takes nothing after it");
    options.help = true;
    return options;
  }
  const auto spec = std::find_if(Commands().begin(), Commands().end(),
                                 [&](const CommandSpec& s) { return s.word == first; });
  if (spec == Commands().end()) {
    throw UsageError("unknown command \"" + Printable(Capped(first)) + "\"");
  }
  options.command = spec->command;
  if (options.command == CliCommand::Help) {
    if (args.size() > 2) throw UsageError("help takes at most one command name");
    if (args.size() == 2) options.helpTopic = args[1];
    return options;
  }
  const std::size_t positionals = ReadArguments(*spec, args, options);
  if (options.help) return options;
  if (positionals < spec->positionals.size()) {
    throw UsageError(first + ": " + std::string(spec->positionals[positionals]) + " is missing");
  }
  if (options.command == CliCommand::TraceReport && options.reportOutput.empty()) {
    throw UsageError(first + ": -o REPORT.html is missing");
  }
  const bool bandOptions = options.band || options.mode || options.operatingClass;
  if (options.command == CliCommand::Set && bandOptions && options.targetState != kOperate) {
    throw UsageError("set: --band, --mode and --class apply only to operate");
  }
  return options;
}

}  // namespace marlin::cli
