#pragma once
// The amplifier's physical state and the rules of changing it. Every setter answers the reason
// it refuses a change (the detail of a -221 entry), or nothing when it accepts.
#include <array>
#include <optional>
#include <string>

#include "sim/amplifier_config.h"
#include "sim/slow_value.h"

namespace marlin::sim {

inline constexpr int kBandPaths = 10;

class AmplifierState {
 public:
  explicit AmplifierState(const AmplifierConfig& config);

  // Completes the changes whose time has come; call before every read or change.
  void Settle(Clock::Duration now);

  std::optional<std::string> SetPower(bool on, Clock::Duration now);
  std::optional<std::string> SetBandPath(int band, Clock::Duration now, bool stuck);
  std::optional<std::string> SetRfOutput(bool on, Clock::Duration now);

  void LatchFault(ErrorEntry entry);
  void ClearFault() { fault_.reset(); }
  const std::optional<ErrorEntry>& Fault() const { return fault_; }

  bool PowerOn() const { return power_.Value(); }
  int BandPath() const { return band_.Value(); }
  bool RfOn() const { return rf_.Value(); }
  bool Changing() const { return power_.Changing() || band_.Changing() || rf_.Changing(); }

  // A new LAN timeout waits for the next power-on to become active.
  void SetLanTimeout(std::string value) { lanPending_ = std::move(value); }
  const std::string& LanTimeoutActive() const { return lanActive_; }
  const std::string& LanTimeoutPending() const { return lanPending_; }

  std::string lockOwner;
  std::array<int, kBandPaths + 1> modulation{};  // index = band path
  std::array<int, kBandPaths + 1> operatingClass{};
  std::array<int, kBandPaths + 1> outputMode{};

 private:
  Timings timings_;
  SlowValue<bool> power_;
  SlowValue<int> band_;
  SlowValue<bool> rf_;
  std::optional<ErrorEntry> fault_;
  std::string lanActive_;
  std::string lanPending_;
};

}  // namespace marlin::sim
