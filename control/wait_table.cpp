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
constexpr DriverWait Confirmation(WaitId id, std::int32_t state, std::string_view query,
                                  std::int32_t seconds, std::string_view description) {
  return DriverWait{id,
                    WaitKind::Polls,
                    labels::kWaitForComplete.start,
                    state,
                    query,
                    static_cast<double>(CompletionPolls(seconds)) * kPollInterval,
                    CompletionPolls(seconds),
                    description};
}

constexpr DriverWait FixedPause(WaitId id, std::string_view procedure, std::int32_t state,
                                double ms, std::string_view description) {
  return DriverWait{id, WaitKind::Pause, procedure, state, kNoQuery, ms, 0, description};
}

// Where two waits share a procedure and a length, the state tells them apart: first fit wins.
constexpr std::array kWaits{
    FixedPause(WaitId::PowerOn, labels::kSetState.start, kAnyState, kPowerOnPause,
               "waiting for the amplifier to power up"),
    FixedPause(WaitId::AfterReset, labels::kSetState.start, kAnyState, kAfterResetPause,
               "waiting for the amplifier to settle after the fault reset"),
    FixedPause(WaitId::PA4520Settling, labels::kSetState.start, kAnyState, kPA4520SettlingPause,
               "waiting for the amplifier to settle in its new state"),
    FixedPause(WaitId::ResetFault, labels::kResetFault.start, kAnyState, kResetPause,
               "waiting for the fault reset to take effect"),
    FixedPause(WaitId::Modulation, labels::kSetNewState.start, state::kOperate, kModulationPause,
               "waiting for the modulation setting to take effect"),
    FixedPause(WaitId::OutputOn, labels::kSetNewState.start, state::kOperate, kOutputOnPause,
               "waiting for the RF output to come on"),
    FixedPause(WaitId::OutputOnPA4413, labels::kSetNewState.start, state::kOperate,
               kOutputOnPausePA4413, "waiting for the RF output to come on"),
    FixedPause(WaitId::OutputOff, labels::kSetNewState.start, kAnyState, kOutputOffPause,
               "waiting for the RF output to go off"),
    Confirmation(WaitId::PowerOffConfirmation, state::kOff, scpi::kPowerQuery, kPowerConfirmation,
                 "waiting for power off to be confirmed"),
    Confirmation(WaitId::PowerOnConfirmation, kAnyState, scpi::kPowerQuery, kPowerConfirmation,
                 "waiting for power on to be confirmed"),
    Confirmation(WaitId::OperateConfirmation, state::kOperate, scpi::kOutputQuery,
                 kOutputOnConfirmation, "waiting for Operate to be confirmed"),
    Confirmation(WaitId::OutputOffConfirmation, kAnyState, scpi::kOutputQuery,
                 kOutputOffConfirmation, "waiting for the RF output off to be confirmed"),
    DriverWait{WaitId::BandSwitch, WaitKind::Polls, labels::kActivateBand.start, kAnyState,
               kNoQuery, kLongestBandSwitch, kBandSwitchQueries,
               "waiting for the band path to switch"},
    DriverWait{WaitId::QueryPause, WaitKind::WithinQuery, labels::kReadCmdResponse.start, kAnyState,
               kNoQuery, kQueryPause, 0, "waiting before reading the answer"},
};

bool Fits(const DriverWait& wait, std::string_view procedure, std::int32_t state,
          std::string_view query, double milliseconds) {
  if (wait.procedure != procedure) return false;
  if (wait.state != kAnyState && wait.state != state) return false;
  if (!wait.query.empty() && wait.query != query) return false;
  return wait.kind != WaitKind::Pause || wait.limitMs == milliseconds;
}

}  // namespace

// The table is in the order of the ids, so an id is its entry's index.
constexpr bool InIdOrder() {
  for (std::size_t i = 0; i < kWaits.size(); ++i) {
    if (static_cast<std::size_t>(kWaits[i].id) != i) return false;
  }
  return true;
}
static_assert(InIdOrder());

std::span<const DriverWait> DriverWaits() { return kWaits; }

const DriverWait& WaitEntry(WaitId id) { return kWaits.at(static_cast<std::size_t>(id)); }

WaitId ConfirmationWait(std::string_view query, std::string_view expected) {
  if (query == scpi::kPowerQuery) {
    return expected == "0" ? WaitId::PowerOffConfirmation : WaitId::PowerOnConfirmation;
  }
  return expected == "1" ? WaitId::OperateConfirmation : WaitId::OutputOffConfirmation;
}

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
