#pragma once
// marlin-sim's command line, and the fault settings its console also takes.
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/amplifier_config.h"

namespace marlin::sim {

struct AmplifierSpec {
  AmplifierConfig config;
  std::uint16_t port = 0;  // 0: a free port
  int gpibAddress = 1;
};

struct SimOptions {
  std::vector<AmplifierSpec> amplifiers;
  std::string bindAddress = "127.0.0.1";
  double timeScale = 1.0;
  std::optional<std::uint16_t> gatewayPort;  // set: the GPIB gateway runs
  std::string transcriptPath;                // empty: no transcript file
  std::chrono::milliseconds idleTimeout = kDefaultIdleClientTimeout;
  bool help = false;
};

// Throws std::invalid_argument naming the option and the value that is wrong.
SimOptions ParseOptions(const std::vector<std::string>& args);
std::string Usage();

// One fault: silent, garbage, overlong=BYTES, no-terminator, slow=MS, late=MS, drop,
// band-stuck, error=CODE:TEXT, fault=CODE:TEXT, lock=OWNER. Throws std::invalid_argument.
void ApplyFaultSpec(std::string_view spec, Faults& faults, std::optional<std::string>& lockOwner);

}  // namespace marlin::sim
