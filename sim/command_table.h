#pragma once
// The amplifier's commands: a header pattern and what a query answers or a setting does.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/amplifier_config.h"
#include "sim/amplifier_state.h"
#include "sim/error_queue.h"
#include "sim/scpi_header.h"

namespace marlin::sim {

// What a handler may touch while the amplifier's lock is held.
struct Instrument {
  AmplifierState& state;
  ErrorQueue& errors;
  const AmplifierConfig& config;
  const Faults& faults;
  Clock::Duration now;
};

struct Call {
  std::vector<long> suffixes;
  std::string_view parameter;
};

struct CommandEntry {
  HeaderPattern pattern;
  // nullopt: the query failed and answers nothing (its error is queued).
  std::optional<std::string> (*query)(Instrument&, const Call&) = nullptr;
  void (*set)(Instrument&, const Call&) = nullptr;
  bool setTakesParameter = true;
  bool allowedWhenLocked = false;
  bool (*available)(const AmplifierConfig&) = nullptr;  // nullptr: every model
};

const std::vector<CommandEntry>& CommandTable();

// The *IDN? answer: maker, model, serial, SW:firmware.
std::string IdentificationOf(const AmplifierConfig& config);

}  // namespace marlin::sim
