#pragma once
// One amplifier on a virtual clock, asked line by line in process.
#include <memory>
#include <string>
#include <string_view>

#include "clock/clock.h"
#include "sim/amplifier.h"

namespace marlin::sim::testing {

inline constexpr std::string_view kNoAnswer = "<no answer>";

struct Bench {
  explicit Bench(AmplifierConfig config = {})
      : clock(std::make_shared<VirtualClock>()),
        amp(std::make_shared<Amplifier>(std::move(config), clock)) {}

  std::string Ask(std::string_view line) {
    auto reply = amp->Handle(line);
    return reply ? *reply : std::string(kNoAnswer);
  }
  void Advance(Clock::Duration span) { clock->Advance(span); }

  std::shared_ptr<VirtualClock> clock;
  std::shared_ptr<Amplifier> amp;
};

// A powered amplifier with instant switching, for tests about something else.
inline AmplifierConfig Powered(std::string model = kDefaultModel) {
  AmplifierConfig config;
  config.model = std::move(model);
  config.initial.powerOn = true;
  config.timings = Timings{0ms, 0ms, 0ms, 0ms, 0ms};
  return config;
}

// Powered, the band path selected and the RF output on.
inline AmplifierConfig Operating(int bandPath) {
  AmplifierConfig config = Powered();
  config.initial.bandPath = bandPath;
  config.initial.rfOn = true;
  return config;
}

}  // namespace marlin::sim::testing
