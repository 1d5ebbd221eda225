#pragma once
// The fixed waits and limits of the amplifier control, in one place so that a host's progress
// display shows the same limits the driver runs to.
#include <cstdint>

namespace marlin::timing {

// Completion wait: one poll every half second, limits in seconds.
inline constexpr float kPollInterval = 500;
inline constexpr std::int32_t kPollsPerSecond = 2;
inline constexpr std::int32_t kPowerConfirmation = 30;
inline constexpr std::int32_t kOutputOnConfirmation = 30;
inline constexpr std::int32_t kOutputOffConfirmation = 15;

// State transitions.
inline constexpr float kModulationPause = 50;
inline constexpr float kOutputOnPausePA4413 = 2000;
inline constexpr float kOutputOnPause = 5000;
inline constexpr float kOutputOffPause = 2000;

// Band activation: a pause after the switch, then up to kBandPollLimit + 1 polls.
inline constexpr float kBandSwitchPause = 2000;
inline constexpr std::int32_t kBandPollLimit = 30;
inline constexpr float kLongestBandSwitch = kBandSwitchPause + (kBandPollLimit + 1) * kPollInterval;

// The fault reset's pause.
inline constexpr float kResetPause = 500;

}  // namespace marlin::timing
