#include "sim/options.h"

#include <charconv>
#include <cmath>
#include <set>

#include "sim/gateway_front.h"
#include "sim/io_thread.h"
#include "sim/scpi_header.h"
#include "sim/scpi_values.h"
#include "sim/tcp_front.h"
#include "text/option_table.h"

namespace marlin::sim {

namespace {

constexpr std::string_view kUsage = R"(Usage: marlin-sim [options]
Simulated broadband RF power amplifiers speaking SCPI over TCP, and optionally a GPIB gateway.

  --model M              PA4400 (default), PA4413, PA4415 or PA4520
  --serial S             serial number in *IDN? (default 100001)
  --firmware V           firmware version in *IDN? (default 2.20)
  --port N               SCPI socket port (default 5025; 0 picks a free one)
  --bind ADDRESS         address to listen on (default 127.0.0.1)
  --gateway              run the GPIB gateway on port 1234
  --gateway-port N       run the GPIB gateway on port N (0 picks a free one)
  --gpib-address N       GPIB address of the amplifier on the gateway (default 1)
  --amp KEY=V,...        one more amplifier; keys model, serial, firmware, port, gpib
  --power on|off         mains power at start (default off)
  --band N               band path at start, 0 to 10 (needs --power on)
  --rf on|off            RF output at start (needs a band path)
  --lock OWNER           remote lock owner at start (default NONE; "" answers an empty owner)
  --no-band-answer A     what RF:BAND:PATH? answers without a band path: 0 (default), NONE
                         or "" (an empty line)
  --lan-timeout V        active LAN timeout at start (default 24H)
  --error-queue-depth N  error queue entries (default 10)
  --power-on-ms MS, --power-off-ms MS, --band-switch-ms MS, --rf-on-ms MS, --rf-off-ms MS
                         switching times on the simulator's clock
  --time-scale X         the clock runs X times faster than real time, 0.001 to 1000000
                         (default 1)
  --fault SPEC           inject a fault (repeatable): silent, garbage, overlong=BYTES,
                         no-terminator, slow=MS, late=MS, drop, band-stuck,
                         error=CODE:TEXT, fault=CODE:TEXT, lock=OWNER
  --transcript FILE      write every line received and sent as JSON Lines
  --idle-timeout S       close a client that sends nothing for S seconds (default 300; the
                         sockets take at most 32 clients each)
  --help                 this text

While running, standard input takes: fault SPEC, clear, state, select N, help, quit.
A new LAN timeout (SYST:SCPI:TIME) becomes active at the next mains power-on.
)";

// Slower, a switching time of seconds would outlast any session; faster, none could be seen.
constexpr double kSlowestTimeScale = 1e-3;
constexpr double kFastestTimeScale = 1e6;
constexpr long kLongestIdleSeconds = 24L * 3600;

[[noreturn]] void Bad(std::string_view option, std::string_view value, std::string_view why) {
  throw std::invalid_argument(std::string(option) + " \"" + std::string(value) +
                              "\": " + std::string(why));
}

long IntegerArg(std::string_view option, std::string_view value, long low, long high) {
  auto number = ParseInteger(value);
  if (!number || *number < low || *number > high)
    Bad(option, value,
        "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  return *number;
}

Clock::Duration MillisecondsArg(std::string_view option, std::string_view value) {
  return std::chrono::milliseconds(IntegerArg(option, value, 0, 24L * 3600 * 1000));
}

bool OnOffArg(std::string_view option, std::string_view value) {
  const std::string upper = ToUpper(value);
  if (upper == "ON") return true;
  if (upper == "OFF") return false;
  Bad(option, value, "expected on or off");
}

ErrorEntry EntryArg(std::string_view option, std::string_view value) {
  const auto colon = value.find(':');
  if (colon == std::string_view::npos) Bad(option, value, "expected CODE:TEXT");
  const auto code = ParseInteger(value.substr(0, colon));
  if (!code || *code < -32768 || *code > 32767)
    Bad(option, value, "the code must be a whole number from -32768 to 32767");
  return {static_cast<int>(*code), std::string(value.substr(colon + 1))};
}

std::uint16_t PortArg(std::string_view option, std::string_view value) {
  return static_cast<std::uint16_t>(IntegerArg(option, value, 0, 65535));
}

struct AmpOverride {
  std::optional<std::string> model, serial, firmware;
  std::optional<std::uint16_t> port;
  std::optional<int> gpib;
};

AmpOverride ParseAmp(std::string_view value) {
  AmpOverride result;
  while (!value.empty()) {
    const auto comma = value.find(',');
    const std::string_view pair = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos) Bad("--amp", pair, "expected KEY=VALUE");
    const std::string key = ToUpper(pair.substr(0, equals));
    const std::string_view v = pair.substr(equals + 1);
    if (key == "MODEL")
      result.model = std::string(v);
    else if (key == "SERIAL")
      result.serial = std::string(v);
    else if (key == "FIRMWARE")
      result.firmware = std::string(v);
    else if (key == "PORT")
      result.port = PortArg("--amp port", v);
    else if (key == "GPIB")
      result.gpib = static_cast<int>(IntegerArg("--amp gpib", v, 0, 30));
    else
      Bad("--amp", pair, "unknown key; expected model, serial, firmware, port or gpib");
  }
  return result;
}

// What the command line builds while it is read.
struct Parsing {
  SimOptions options;
  AmplifierSpec base;  // the first amplifier; the others start as copies of it
  std::vector<AmpOverride> extra;
  std::optional<std::string> lockOwner;
};

using Table = text::OptionTable<Parsing>;

Table::Option TextOption(std::string_view name, std::string AmplifierConfig::*field) {
  return {name, true, [field](Parsing& p, auto, auto& v) { p.base.config.*field = v; }};
}

Table::Option OnOffOption(std::string_view name, bool InitialState::*field) {
  return {name, true, [field](Parsing& p, auto option, auto& v) {
            p.base.config.initial.*field = OnOffArg(option, v);
          }};
}

Table::Option SwitchingOption(std::string_view name, Clock::Duration Timings::*field) {
  return {name, true, [field](Parsing& p, auto option, auto& v) {
            p.base.config.timings.*field = MillisecondsArg(option, v);
          }};
}

double TimeScaleArg(std::string_view option, const std::string& text) {
  double scale = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), scale);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(scale) ||
      scale < kSlowestTimeScale || scale > kFastestTimeScale)
    Bad(option, text, "expected a number from 0.001 to 1000000");
  return scale;
}

// What the first amplifier is and does (the others start as copies of it).
std::vector<Table::Option> AmplifierOptions() {
  return {
      TextOption("--model", &AmplifierConfig::model),
      TextOption("--serial", &AmplifierConfig::serial),
      TextOption("--firmware", &AmplifierConfig::firmware),
      TextOption("--no-band-answer", &AmplifierConfig::noBandAnswer),
      {"--port", true, [](Parsing& p, auto name, auto& v) { p.base.port = PortArg(name, v); }},
      {"--gpib-address", true,
       [](Parsing& p, auto name, auto& v) {
         p.base.gpibAddress = static_cast<int>(IntegerArg(name, v, 0, 30));
       }},
      OnOffOption("--power", &InitialState::powerOn),
      OnOffOption("--rf", &InitialState::rfOn),
      {"--band", true,
       [](Parsing& p, auto name, auto& v) {
         p.base.config.initial.bandPath = static_cast<int>(IntegerArg(name, v, 0, 10));
       }},
      {"--lock", true, [](Parsing& p, auto, auto& v) { p.lockOwner = v; }},
      {"--lan-timeout", true,
       [](Parsing& p, auto, auto& v) { p.base.config.initial.lanTimeout = v; }},
      {"--error-queue-depth", true,
       [](Parsing& p, auto name, auto& v) {
         p.base.config.errorQueueDepth = static_cast<std::size_t>(IntegerArg(name, v, 1, 1000));
       }},
      SwitchingOption("--power-on-ms", &Timings::powerOn),
      SwitchingOption("--power-off-ms", &Timings::powerOff),
      SwitchingOption("--band-switch-ms", &Timings::bandSwitch),
      SwitchingOption("--rf-on-ms", &Timings::rfOn),
      SwitchingOption("--rf-off-ms", &Timings::rfOff),
      {"--fault", true,
       [](Parsing& p, auto, auto& v) { ApplyFaultSpec(v, p.base.config.faults, p.lockOwner); }},
  };
}

const Table& Options() {
  static const Table table = [] {
    std::vector<Table::Option> options{
        {"--help", false, [](Parsing& p, auto, auto&) { p.options.help = true; }, "-h"},
        {"--amp", true, [](Parsing& p, auto, auto& v) { p.extra.push_back(ParseAmp(v)); }},
        {"--bind", true, [](Parsing& p, auto, auto& v) { p.options.bindAddress = v; }},
        {"--gateway", false,
         [](Parsing& p, auto, auto&) {
           if (!p.options.gatewayPort) p.options.gatewayPort = kDefaultGatewayPort;
         }},
        {"--gateway-port", true,
         [](Parsing& p, auto name, auto& v) { p.options.gatewayPort = PortArg(name, v); }},
        {"--time-scale", true,
         [](Parsing& p, auto name, auto& v) { p.options.timeScale = TimeScaleArg(name, v); }},
        {"--idle-timeout", true,
         [](Parsing& p, auto name, auto& v) {
           p.options.idleTimeout =
               std::chrono::seconds(IntegerArg(name, v, 1, kLongestIdleSeconds));
         }},
        {"--transcript", true,
         [](Parsing& p, auto name, auto& v) {
           if (v.empty()) Bad(name, "", "needs a file name");
           p.options.transcriptPath = v;
         }},
    };
    for (Table::Option& option : AmplifierOptions()) options.push_back(std::move(option));
    return Table(std::move(options));
  }();
  return table;
}

// The first amplifier and one more for each --amp, each taking what it does not say from the
// first: the next serial, port and GPIB address.
std::vector<AmplifierSpec> Amplifiers(const AmplifierSpec& base,
                                      const std::vector<AmpOverride>& extra) {
  std::vector<AmplifierSpec> amplifiers{base};
  for (std::size_t n = 0; n < extra.size(); ++n) {
    AmplifierSpec spec = base;
    const AmpOverride& o = extra[n];
    const auto offset = static_cast<long>(n + 1);
    if (o.model) spec.config.model = *o.model;
    spec.config.serial = o.serial.value_or(base.config.serial + "-" + std::to_string(offset));
    if (o.firmware) spec.config.firmware = *o.firmware;
    spec.port = o.port.value_or(
        base.port == 0 ? 0 : static_cast<std::uint16_t>(std::min(65535L, base.port + offset)));
    spec.gpibAddress = o.gpib.value_or(static_cast<int>(std::min(30L, base.gpibAddress + offset)));
    amplifiers.push_back(std::move(spec));
  }
  return amplifiers;
}

// What no single option can be wrong about: each amplifier, and the ports and addresses they
// share.
void CheckTogether(const SimOptions& options) {
  std::set<int> addresses;
  std::set<std::uint16_t> ports;
  for (const auto& spec : options.amplifiers) {
    Validate(spec.config);
    if (options.gatewayPort && !addresses.insert(spec.gpibAddress).second)
      Bad("--amp gpib", std::to_string(spec.gpibAddress), "two amplifiers at one GPIB address");
    if (spec.port != 0 && !ports.insert(spec.port).second)
      Bad("--amp port", std::to_string(spec.port), "two amplifiers on one port");
  }
  if (options.gatewayPort && *options.gatewayPort != 0 && ports.count(*options.gatewayPort))
    Bad("--gateway-port", std::to_string(*options.gatewayPort), "already an amplifier's port");
  ParseBindAddress(options.bindAddress);
}

}  // namespace

std::string Usage() { return std::string(kUsage); }

void ApplyFaultSpec(std::string_view spec, Faults& faults, std::optional<std::string>& lockOwner) {
  const auto equals = spec.find('=');
  const std::string name = ToUpper(spec.substr(0, equals));
  const bool hasValue = equals != std::string_view::npos;
  const std::string_view value = hasValue ? spec.substr(equals + 1) : std::string_view();
  const auto needValue = [&](bool wanted) {
    if (hasValue != wanted)
      Bad("--fault", spec, wanted ? "needs a value after =" : "takes no value");
  };
  if (name == "SILENT") {
    needValue(false);
    faults.silent = true;
  } else if (name == "GARBAGE") {
    needValue(false);
    faults.garbage = true;
  } else if (name == "NO-TERMINATOR") {
    needValue(false);
    faults.noTerminator = true;
  } else if (name == "DROP") {
    needValue(false);
    faults.dropConnection = true;
  } else if (name == "BAND-STUCK") {
    needValue(false);
    faults.bandPathStuck = true;
  } else if (name == "OVERLONG") {
    needValue(true);
    faults.overlongBytes =
        static_cast<std::size_t>(IntegerArg("--fault overlong", value, 1, kMaxOverlongBytes));
  } else if (name == "SLOW" || name == "LATE") {
    needValue(true);
    faults.answerDelay = MillisecondsArg("--fault " + ToUpper(name), value);
  } else if (name == "ERROR") {
    needValue(true);
    faults.errors.push_back(EntryArg("--fault error", value));
  } else if (name == "FAULT") {
    needValue(true);
    faults.fault = EntryArg("--fault fault", value);
  } else if (name == "LOCK") {
    needValue(true);
    if (value.empty() || !IsAnswerSafe(value))
      Bad("--fault lock", value, "needs printable characters without , ; or quotes");
    lockOwner = std::string(value);
  } else {
    Bad("--fault", spec,
        "unknown fault; expected silent, garbage, overlong=BYTES, no-terminator, slow=MS, "
        "late=MS, drop, band-stuck, error=CODE:TEXT, fault=CODE:TEXT or lock=OWNER");
  }
}

SimOptions ParseOptions(const std::vector<std::string>& args) {
  Parsing parsing;
  parsing.base.port = kDefaultScpiPort;
  text::OptionRules rules;
  rules.unknown = [](std::string_view name) { Bad(name, "", "unknown option (see --help)"); };
  rules.missingValue = [](std::string_view name) { Bad(name, "", "needs a value"); };
  Options().Read(args, 0, parsing, rules);
  if (parsing.lockOwner) parsing.base.config.initial.lockOwner = *parsing.lockOwner;
  SimOptions options = std::move(parsing.options);
  options.amplifiers = Amplifiers(parsing.base, parsing.extra);
  CheckTogether(options);
  return options;
}

}  // namespace marlin::sim
