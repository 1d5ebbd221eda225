#pragma once
// Every fixed wait and limit of the driver, in one place; wait_table.h names each wait for a
// host's progress display, with the same limits the driver runs to.
#include <cstdint>

namespace marlin::timing {

// Completion wait: one poll every half second, limits in seconds.
inline constexpr float kPollInterval = 500;
inline constexpr std::int32_t kPollsPerSecond = 2;
inline constexpr std::int32_t kPowerConfirmation = 30;
inline constexpr std::int32_t kOutputOnConfirmation = 30;
inline constexpr std::int32_t kOutputOffConfirmation = 15;
// The polls of a completion wait that never sees its answer: one more than the limit allows,
// since the count is tested after each poll.
constexpr std::int32_t CompletionPolls(std::int32_t seconds) {
  return seconds * kPollsPerSecond + 1;
}

// State transitions.
inline constexpr float kModulationPause = 50;
inline constexpr float kOutputOnPausePA4413 = 2000;
inline constexpr float kOutputOnPause = 5000;
inline constexpr float kOutputOffPause = 2000;

// Band activation: a pause after the switch, then up to kBandPollLimit + 1 polls. Besides the
// polls it queries the band before, the lock owner, and the error queue twice after.
inline constexpr float kBandSwitchPause = 2000;
inline constexpr std::int32_t kBandPollLimit = 30;
inline constexpr std::int32_t kBandSwitchQueries = kBandPollLimit + 1 + 4;
inline constexpr float kLongestBandSwitch = kBandSwitchPause + (kBandPollLimit + 1) * kPollInterval;

// The fault reset's pause.
inline constexpr float kResetPause = 500;

// SetState: an amplifier found Off before Operate is powered on and its faults reset first; a
// PA4520 settles before its state is read back.
inline constexpr float kPowerOnPause = 15000;
inline constexpr float kAfterResetPause = 1000;
inline constexpr float kPA4520SettlingPause = 4000;

// Between a query and the read of its answer on the VISA route.
inline constexpr std::int32_t kQueryPause = 200;

}  // namespace marlin::timing
