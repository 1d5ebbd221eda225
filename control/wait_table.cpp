#include "control/wait_table.h"

#include <array>

#include "control/timings.h"
#include "driver/cls_marlin.h"
#include "driver/procedure_labels.h"
#include "driver/records.h"
#include "io/scpi.h"

namespace marlin::timing {
namespace {

constexpr double kMsPerSecond = 1000;
constexpr std::string_view kNoQuery;

// Where two waits share a procedure and a length, the state tells them apart: first fit wins.
constexpr std::array kWaits{
    DriverWait{WaitKind::Pause, labels::kSetState.start, kAnyState, kNoQuery, kPowerOnPause,
               "waiting for the amplifier to power up"},
    DriverWait{WaitKind::Pause, labels::kSetState.start, kAnyState, kNoQuery, kAfterResetPause,
               "waiting for the amplifier to settle after the fault reset"},
    DriverWait{WaitKind::Pause, labels::kSetState.start, kAnyState, kNoQuery, kPA4520SettlingPause,
               "waiting for the amplifier to settle in its new state"},
    DriverWait{WaitKind::Pause, labels::kResetFault.start, kAnyState, kNoQuery, kResetPause,
               "waiting for the fault reset to take effect"},
    DriverWait{WaitKind::Pause, labels::kSetNewState.start, state::kOperate, kNoQuery,
               kModulationPause, "waiting for the modulation setting to take effect"},
    DriverWait{WaitKind::Pause, labels::kSetNewState.start, state::kOperate, kNoQuery,
               kOutputOnPause, "waiting for the RF output to come on"},
    DriverWait{WaitKind::Pause, labels::kSetNewState.start, state::kOperate, kNoQuery,
               kOutputOnPausePA4413, "waiting for the RF output to come on"},
    DriverWait{WaitKind::Pause, labels::kSetNewState.start, kAnyState, kNoQuery, kOutputOffPause,
               "waiting for the RF output to go off"},
    DriverWait{WaitKind::Polls, labels::kWaitForComplete.start, state::kOff, scpi::kPowerQuery,
               kPowerConfirmation* kMsPerSecond, "waiting for power off to be confirmed"},
    DriverWait{WaitKind::Polls, labels::kWaitForComplete.start, kAnyState, scpi::kPowerQuery,
               kPowerConfirmation* kMsPerSecond, "waiting for power on to be confirmed"},
    DriverWait{WaitKind::Polls, labels::kWaitForComplete.start, state::kOperate, scpi::kOutputQuery,
               kOutputOnConfirmation* kMsPerSecond, "waiting for Operate to be confirmed"},
    DriverWait{WaitKind::Polls, labels::kWaitForComplete.start, kAnyState, scpi::kOutputQuery,
               kOutputOffConfirmation* kMsPerSecond,
               "waiting for the RF output off to be confirmed"},
    DriverWait{WaitKind::Polls, labels::kActivateBand.start, kAnyState, kNoQuery,
               kLongestBandSwitch, "waiting for the band path to switch"},
    DriverWait{WaitKind::WithinQuery, labels::kReadCmdResponse.start, kAnyState, kNoQuery,
               kQueryPause, "waiting before reading the answer"},
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
