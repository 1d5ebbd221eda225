#include "sim/options.h"

#include <charconv>
#include <cmath>
#include <set>

#include "sim/gateway_front.h"
#include "sim/io_thread.h"
#include "sim/scpi_header.h"
#include "sim/scpi_values.h"
#include "sim/tcp_front.h"

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
  SimOptions options;
  AmplifierSpec base;
  base.port = kDefaultScpiPort;
  std::vector<AmpOverride> extra;
  std::optional<std::string> lockOwner;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) Bad(option, "", "needs a value");
      return args[++i];
    };
    AmplifierConfig& c = base.config;
    if (option == "--help" || option == "-h") {
      options.help = true;
    } else if (option == "--model") {
      c.model = value();
    } else if (option == "--serial") {
      c.serial = value();
    } else if (option == "--firmware") {
      c.firmware = value();
    } else if (option == "--port") {
      base.port = PortArg(option, value());
    } else if (option == "--bind") {
      options.bindAddress = value();
    } else if (option == "--gateway") {
      if (!options.gatewayPort) options.gatewayPort = kDefaultGatewayPort;
    } else if (option == "--gateway-port") {
      options.gatewayPort = PortArg(option, value());
    } else if (option == "--gpib-address") {
      base.gpibAddress = static_cast<int>(IntegerArg(option, value(), 0, 30));
    } else if (option == "--amp") {
      extra.push_back(ParseAmp(value()));
    } else if (option == "--power") {
      c.initial.powerOn = OnOffArg(option, value());
    } else if (option == "--band") {
      c.initial.bandPath = static_cast<int>(IntegerArg(option, value(), 0, 10));
    } else if (option == "--rf") {
      c.initial.rfOn = OnOffArg(option, value());
    } else if (option == "--lock") {
      lockOwner = value();
    } else if (option == "--no-band-answer") {
      c.noBandAnswer = value();
    } else if (option == "--lan-timeout") {
      c.initial.lanTimeout = value();
    } else if (option == "--error-queue-depth") {
      c.errorQueueDepth = static_cast<std::size_t>(IntegerArg(option, value(), 1, 1000));
    } else if (option == "--power-on-ms") {
      c.timings.powerOn = MillisecondsArg(option, value());
    } else if (option == "--power-off-ms") {
      c.timings.powerOff = MillisecondsArg(option, value());
    } else if (option == "--band-switch-ms") {
      c.timings.bandSwitch = MillisecondsArg(option, value());
    } else if (option == "--rf-on-ms") {
      c.timings.rfOn = MillisecondsArg(option, value());
    } else if (option == "--rf-off-ms") {
      c.timings.rfOff = MillisecondsArg(option, value());
    } else if (option == "--time-scale") {
      const std::string& text = value();
      double scale = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), scale);
      if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(scale) ||
          scale < kSlowestTimeScale || scale > kFastestTimeScale)
        Bad(option, text, "expected a number from 0.001 to 1000000");
      options.timeScale = scale;
    } else if (option == "--fault") {
      ApplyFaultSpec(value(), c.faults, lockOwner);
    } else if (option == "--idle-timeout") {
      options.idleTimeout =
          std::chrono::seconds(IntegerArg(option, value(), 1, kLongestIdleSeconds));
    } else if (option == "--transcript") {
      options.transcriptPath = value();
      if (options.transcriptPath.empty()) Bad(option, "", "needs a file name");
    } else {
      Bad(option, "", "unknown option (see --help)");
    }
  }
  if (lockOwner) base.config.initial.lockOwner = *lockOwner;
  options.amplifiers.push_back(base);
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
    options.amplifiers.push_back(std::move(spec));
  }
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
  return options;
}

}  // namespace marlin::sim
