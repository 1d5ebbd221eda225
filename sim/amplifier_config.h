#pragma once
// Everything an amplifier is started with: identity, switching times, initial state, faults.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "clock/clock.h"

namespace marlin::sim {

using namespace std::chrono_literals;

// One entry of the SCPI error queue; `text` is without the surrounding quotes.
struct ErrorEntry {
  int code = 0;
  std::string text;
  friend bool operator==(const ErrorEntry&, const ErrorEntry&) = default;
};

// How long the slow changes take on the shared clock.
struct Timings {
  Clock::Duration powerOn = 5000ms;
  Clock::Duration powerOff = 1000ms;
  Clock::Duration bandSwitch = 2500ms;
  Clock::Duration rfOn = 1000ms;
  Clock::Duration rfOff = 500ms;
};

// Misbehaviour on request. Answer faults apply to every answer while they are set.
struct Faults {
  std::vector<ErrorEntry> errors;   // entries put into the error queue
  std::optional<ErrorEntry> fault;  // a latched amplifier fault: RF off, reported until *CLS
  bool silent = false;              // queries are carried out but never answered
  bool garbage = false;             // answers replaced by bytes that mean nothing
  std::size_t overlongBytes = 0;    // answers padded to this many bytes (0: off)
  bool noTerminator = false;        // answers without their "\n"
  Clock::Duration answerDelay{};    // answers held back this long (slow or late answers)
  std::string delayOnly;            // when not empty: only answers to queries starting so are held
  bool dropConnection = false;      // the connection is closed when the next line arrives
  bool bandPathStuck = false;       // band switching is accepted but never completes
};

struct InitialState {
  bool powerOn = false;
  int bandPath = 0;  // 0: none, 1 to 10
  bool rfOn = false;
  std::string lockOwner = "NONE";  // "" answers an empty owner (taken as local control)
  std::string lanTimeout = "24H";  // the active SYST:SCPI:TIME value
};

inline constexpr const char* kDefaultModel = "PA4400";  // the family's default
inline constexpr const char* kModels[] = {kDefaultModel, "PA4413", "PA4415", "PA4520"};
// Amplifiers say "no band path" in one of these ways; "" is an empty line.
inline constexpr const char* kNoBandAnswers[] = {"0", "NONE", ""};

struct AmplifierConfig {
  std::string model = kDefaultModel;  // one of kModels
  std::string serial = "100001";
  std::string firmware = "2.20";
  Timings timings;
  InitialState initial;
  Faults faults;
  std::size_t errorQueueDepth = 10;
  // What "RF:BAND:PATH?" answers while no band path is active: one of kNoBandAnswers.
  std::string noBandAnswer = "0";
  std::size_t transcriptCapacity = 1000;  // entries kept in memory, oldest dropped first
};

// Throws std::invalid_argument naming the field and the value when the config cannot describe
// a real amplifier.
void Validate(const AmplifierConfig& config);
void ValidateFaults(const Faults& faults);

// Limits shared by every front.
inline constexpr const char* kLoopback = "127.0.0.1";  // where a front listens unless told
inline constexpr std::size_t kReadChunkBytes = 4096;
inline constexpr std::size_t kMaxLineBytes = 4096;
inline constexpr std::size_t kMaxOverlongBytes = 1 << 20;
inline constexpr std::size_t kMaxClientsPerFront = 32;
// A client that sends nothing for this long is closed, so idle clients cannot hold every slot.
inline constexpr std::chrono::milliseconds kDefaultIdleClientTimeout = std::chrono::minutes(5);

}  // namespace marlin::sim
