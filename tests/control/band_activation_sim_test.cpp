// Band activation against the simulator: lock, switch, polls, error queue, class and mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/host_registry.h"
#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST(BandActivation, NoConfiguredBandReturnsTheAmplifiersBand) {
  ConnectedRig c(Amplifier("PA4415", true, 3));
  c.Band(0);
  EXPECT_EQ(c.access.ActivateBand(), 3);
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?"));
}

TEST(BandActivation, BandAlreadySetOnlyChecksTheErrorQueue) {
  ConnectedRig c(Amplifier("PA4415", true, 2));
  c.Band(2);
  EXPECT_EQ(c.access.ActivateBand(), 2);
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:ERR?"));
}

TEST(BandActivation, LockHeldElsewhereRefusesBeforeSendingAnything) {
  ConnectedRig c(Amplifier("PA4415", true, 1));
  c.rig.amp->SetLockOwner("LOC");
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-AMP_LAN<LOC>:Switching could not be executed because AMP_LAN "
            "amplifier is not in REMOTE mode!");
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:LOCK:OWN?"));
  EXPECT_EQ(c.rig.amp->Snapshot().bandPath, 1);
}

TEST(BandActivation, PathReachedOnTheLastPollSucceeds) {
  auto config = Amplifier("PA4415", true, 1);
  config.timings.bandSwitch = 17500ms;
  ConnectedRig c(config);
  c.Band(5);
  EXPECT_EQ(c.access.ActivateBand(), 5);
  auto lines = c.rig.ReceivedLines();
  EXPECT_EQ(Count(lines, "RF:BAND:PATH?"), 1u + 31u);
  EXPECT_EQ(c.Elapsed(), 17500);
}

TEST(BandActivation, PathNeverReachedFailsWithTheHostsText) {
  auto config = Amplifier("PA4415", true, 1);
  config.faults.bandPathStuck = true;
  ConnectedRig c(config);
  c.Band(5);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP_LAN" + host::Texts().GetText(44081));
  EXPECT_FALSE(host::Texts().GetText(44081).empty());
  EXPECT_EQ(Count(c.rig.ReceivedLines(), "RF:BAND:PATH?"), 1u + 31u);
  EXPECT_EQ(c.Elapsed(), 17500) << "the worst case before the path error";
}

TEST(BandActivation, ErrorAfterSwitchingClearsTheQueueAndFails) {
  ConnectedRig c(Amplifier("PA4415", true, 1));
  c.rig.amp->PushError({-221, "Settings conflict"});
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-AMP_LANAMP_LAN reports error: -221,\"Settings conflict\"");
  auto lines = c.rig.ReceivedLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "SYST:ERR?");
  EXPECT_EQ(lines.back(), "*CLS");
  EXPECT_TRUE(c.rig.amp->Snapshot().errors.empty());
}

struct ClassCase {
  const char* model;
  const char* firmware;
  bool sent;
};

class ClassAndMode : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassAndMode, OnlyAPA4413FromFirmware33) {
  auto config = Amplifier(GetParam().model, true, 2);
  config.firmware = GetParam().firmware;
  ConnectedRig c(config);
  c.Band(2, 0, 1);
  EXPECT_EQ(c.access.ActivateBand(), 2);
  if (GetParam().sent) {
    EXPECT_THAT(c.rig.ReceivedLines(4),
                ElementsAre("RF:BAND:PATH?", "RF2:OPER:CLA 1", "RF2:OUTP:MOD 0", "SYST:ERR?"));
    EXPECT_EQ(c.rig.amp->Snapshot().operatingClass[2], 1);
  } else {
    EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:ERR?"));
  }
}

INSTANTIATE_TEST_SUITE_P(Models, ClassAndMode,
                         ::testing::Values(ClassCase{"PA4413", "3.2", false},
                                           ClassCase{"PA4413", "3.3", true},
                                           ClassCase{"PA4415", "4.0", false},
                                           ClassCase{"PA4520", "3.3", false}));

}  // namespace
}  // namespace marlin::testing
