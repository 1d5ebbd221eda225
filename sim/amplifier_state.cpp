#include "sim/amplifier_state.h"

#include <utility>

#include "sim/scpi_texts.h"
#include "sim/scpi_values.h"

namespace marlin::sim {

AmplifierState::AmplifierState(const AmplifierConfig& config)
    : lockOwner(config.initial.lockOwner),
      timings_(config.timings),
      power_(config.initial.powerOn),
      band_(config.initial.bandPath),
      rf_(config.initial.rfOn),
      lanActive_(NormalizeLanTimeout(config.initial.lanTimeout).value_or("")) {}

void AmplifierState::Settle(Clock::Duration now) {
  if (power_.Settle(now)) {
    if (power_.Value()) {
      // Power-on restarts the LAN controller, which then reads its new timeout.
      if (!lanPending_.empty()) lanActive_ = std::exchange(lanPending_, {});
    } else {
      band_.Set(0);
    }
  }
  band_.Settle(now);
  rf_.Settle(now);
}

std::optional<std::string> AmplifierState::SetPower(bool on, Clock::Duration now) {
  if (power_.Heading() == on) return std::nullopt;
  if (!on) {
    // RF goes first and band switching stops: nothing runs on a powering-down amplifier.
    rf_.Set(false);
    band_.Cancel();
  }
  power_.Change(on, now, on ? timings_.powerOn : timings_.powerOff);
  Settle(now);
  return std::nullopt;
}

std::optional<std::string> AmplifierState::SetBandPath(int band, Clock::Duration now, bool stuck) {
  if (!power_.Value() || power_.Changing()) return std::string(conflict::kPowerOff);
  if (band_.Heading() == band) return std::nullopt;
  // The amplifier mutes its output while the path switches.
  rf_.Set(false);
  if (stuck) {
    band_.Cancel();
    return std::nullopt;
  }
  band_.Change(band, now, timings_.bandSwitch);
  Settle(now);
  return std::nullopt;
}

std::optional<std::string> AmplifierState::SetRfOutput(bool on, Clock::Duration now) {
  if (rf_.Heading() == on) return std::nullopt;
  if (on) {
    if (!power_.Value() || power_.Changing()) return std::string(conflict::kPowerOff);
    if (band_.Changing()) return std::string(conflict::kBandSwitching);
    if (band_.Value() == 0) return std::string(conflict::kNoBandPath);
    if (fault_) return std::string(conflict::kFaultLatched);
  }
  rf_.Change(on, now, on ? timings_.rfOn : timings_.rfOff);
  Settle(now);
  return std::nullopt;
}

void AmplifierState::LatchFault(ErrorEntry entry) {
  fault_ = std::move(entry);
  rf_.Set(false);
}

}  // namespace marlin::sim
