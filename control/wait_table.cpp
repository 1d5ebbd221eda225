#include "control/wait_table.h"

#include <array>

#include "driver/cls_marlin.h"
#include "driver/procedure_labels.h"
#include "driver/records.h"
#include "driver/timings.h"
#include "io/scpi.h"

namespace marlin::timing {
namespace {

constexpr std::string_view kNoQuery;

// A confirmation with a limit of `seconds`: its polls, each a wait and one query.
constexpr DriverWait Confirmation(std::int32_t state, std::string_view query, std::int32_t seconds,
                                  std::string_view description) {
  return DriverWait{WaitKind::Polls,
                    labels::kWaitForComplete.start,
                    state,
                    query,
                    static_cast<double>(CompletionPolls(seconds)) * kPollInterval,
                    CompletionPolls(seconds),
                    description};
}

constexpr DriverWait FixedPause(std::string_view procedure, std::int32_t state, double ms,
                                std::string_view description) {
  return DriverWait{WaitKind::Pause, procedure, state, kNoQuery, ms, 0, description};
}

// Where two waits share a procedure and a length, the state tells them apart: first fit wins.
constexpr std::array kWaits{
    FixedPause(labels::kSetState.start, kAnyState, kPowerOnPause,
               "waiting for the amplifier to power up"),
    FixedPause(labels::kSetState.start, kAnyState, kAfterResetPause,
               "waiting for the amplifier to settle after the fault reset"),
    FixedPause(labels::kSetState.start, kAnyState, kPA4520SettlingPause,
               "waiting for the amplifier to settle in its new state"),
    FixedPause(labels::kResetFault.start, kAnyState, kResetPause,
               "waiting for the fault reset to take effect"),
    FixedPause(labels::kSetNewState.start, state::kOperate, kModulationPause,
               "waiting for the modulation setting to take effect"),
    FixedPause(labels::kSetNewState.start, state::kOperate, kOutputOnPause,
               "waiting for the RF output to come on"),
    FixedPause(labels::kSetNewState.start, state::kOperate, kOutputOnPausePA4413,
               "waiting for the RF output to come on"),
    FixedPause(labels::kSetNewState.start, kAnyState, kOutputOffPause,
               "waiting for the RF output to go off"),
    Confirmation(state::kOff, scpi::kPowerQuery, kPowerConfirmation,
                 "waiting for power off to be confirmed"),
    Confirmation(kAnyState, scpi::kPowerQuery, kPowerConfirmation,
                 "waiting for power on to be confirmed"),
    Confirmation(state::kOperate, scpi::kOutputQuery, kOutputOnConfirmation,
                 "waiting for Operate to be confirmed"),
    Confirmation(kAnyState, scpi::kOutputQuery, kOutputOffConfirmation,
                 "waiting for the RF output off to be confirmed"),
    DriverWait{WaitKind::Polls, labels::kActivateBand.start, kAnyState, kNoQuery,
               kLongestBandSwitch, kBandSwitchQueries, "waiting for the band path to switch"},
    DriverWait{WaitKind::WithinQuery, labels::kReadCmdResponse.start, kAnyState, kNoQuery,
               kQueryPause, 0, "waiting before reading the answer"},
};

bool Fits(const DriverWait& wait, std::string_view procedure, std::int32_t state,
          std::string_view query, double milliseconds) {
  if (wait.procedure != procedure) return false;
  if (wait.state != kAnyState && wait.state != state) return false;
  if (!wait.query.empty() && wait.query != query) return false;
  return wait.kind != WaitKind::Pause || wait.limitMs == milliseconds;
}

}  // namespace

std::span<const DriverWait> DriverWaits() { return kWaits; }

double LimitMs(const DriverWait& wait, double queryPauseMs) {
  return wait.limitMs + wait.queries * queryPauseMs;
}

const DriverWait* FindWait(std::string_view procedure, std::int32_t state, std::string_view query,
                           double milliseconds) {
  for (const DriverWait& wait : kWaits) {
    if (Fits(wait, procedure, state, query, milliseconds)) return &wait;
  }
  return nullptr;
}

std::int32_t TracedState(std::string_view name) {
  for (std::int32_t s = state::kOff; s <= state::kFault; ++s) {
    if (clsMarlin::StateName(s) == name) return s;
  }
  return kAnyState;
}

}  // namespace marlin::timing
