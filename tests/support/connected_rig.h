#pragma once
// A driver object named and connected to a simulated amplifier, its transcript cleared, so a
// test sees only the lines of the operation under test.
#include <gtest/gtest.h>

#include "driver/cls_marlin.h"
#include "host/thread_host.h"
#include "tests/support/marlin_access.h"
#include "tests/support/sim_rig.h"

namespace marlin::testing {

class ConnectedRig {
 public:
  explicit ConnectedRig(sim::AmplifierConfig config, const char* device = kLanDevice,
                        RigOptions options = {})
      : rig(std::move(config), options), device(device) {
    amp.clsDevice_Name_Let(device);
    amp.clsDevice_Status_Let(1);
    amp.clsDevice_Check();
    EXPECT_EQ(amp.clsDevice_Status(), 1) << "connecting to " << device;
    rig.Settle();
    rig.ClearTranscript();
    rig.trace->lines.clear();
    rig.trace->reports.clear();
    start = rig.clock->Now();
  }

  void Band(std::int32_t bandPath, std::int32_t outputMode = 0, std::int32_t operatingClass = 0) {
    AmplParamsRecord params;
    params.BandPath = bandPath;
    params.OutputMode = outputMode;
    params.OperatingClass = operatingClass;
    amp.clsIAmpRemote_AmplParams_Let(params);
  }

  // Virtual milliseconds since the connection was made.
  double Elapsed() const { return ToMilliseconds(rig.clock->Now() - start); }
  // Virtual milliseconds between the first line equal to `a` and the first later line equal to `b`.
  double Pause(const std::string& a, const std::string& b, std::size_t atLeast = 0) const;

  SimRig rig;
  const char* device;
  clsMarlin amp{host::ThreadContext()};
  MarlinTestAccess access{amp};
  Clock::Duration start{};
};

inline sim::AmplifierConfig Amplifier(const std::string& model, bool powerOn = true, int band = 0,
                                      bool rfOn = false) {
  sim::AmplifierConfig config;
  config.model = model;
  config.initial.powerOn = powerOn;
  config.initial.bandPath = band;
  config.initial.rfOn = rfOn;
  return config;
}

inline double ConnectedRig::Pause(const std::string& a, const std::string& b,
                                  std::size_t atLeast) const {
  auto lines = rig.Received(atLeast);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].text != a) continue;
    for (std::size_t j = i + 1; j < lines.size(); ++j) {
      if (lines[j].text == b) return lines[j].ms - lines[i].ms;
    }
  }
  ADD_FAILURE() << "no \"" << a << "\" followed by \"" << b << "\"";
  return -1;
}

}  // namespace marlin::testing
