// Band activation against the simulator on every route: lock, switch, polls, error queue, class
// and mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "host/thread_host.h"
#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

class BandActivation : public ::testing::TestWithParam<const char*> {
 protected:
  const char* device = GetParam();
  const std::string name = device;
  double pause = QueryPause(device);
  // Until the path error at worst: 2000 ms, 31 polls of 500 ms, and the query pauses of the band
  // read, the lock owner and the 31 polls.
  double worstCase = 17500 + 33 * pause;
};

TEST_P(BandActivation, NoConfiguredBandReturnsTheAmplifiersBand) {
  ConnectedRig c(Amplifier("PA4415", true, 3), device);
  c.Band(0);
  EXPECT_EQ(c.access.ActivateBand(), 3);
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?"));
}

TEST_P(BandActivation, BandAlreadySetOnlyChecksTheErrorQueue) {
  ConnectedRig c(Amplifier("PA4415", true, 2), device);
  c.Band(2);
  EXPECT_EQ(c.access.ActivateBand(), 2);
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:ERR?"));
}

TEST_P(BandActivation, LockHeldElsewhereRefusesBeforeSendingAnything) {
  ConnectedRig c(Amplifier("PA4415", true, 1), device);
  c.rig.amp->SetLockOwner("LOC");
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + name +
                                 "<LOC>:Switching could not be executed because " + name +
                                 " amplifier is not in REMOTE mode!");
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:LOCK:OWN?"));
  EXPECT_EQ(c.rig.amp->Snapshot().bandPath, 1);
}

TEST_P(BandActivation, PathReachedOnTheLastPollSucceeds) {
  auto config = Amplifier("PA4415", true, 1);
  // Reached as the 31st poll is sent: 2000 + 31 x 500 ms and 30 poll pauses after the command.
  config.timings.bandSwitch = FromMilliseconds(17500 + 30 * pause);
  ConnectedRig c(config, device);
  c.Band(5);
  EXPECT_EQ(c.access.ActivateBand(), 5);
  auto lines = c.rig.ReceivedLines();
  EXPECT_EQ(Count(lines, "RF:BAND:PATH?"), 1u + 31u);
  // Then the two error-queue checks.
  EXPECT_EQ(c.Elapsed(), worstCase + 2 * pause);
}

TEST_P(BandActivation, PathNeverReachedFailsWithTheHostsText) {
  auto config = Amplifier("PA4415", true, 1);
  config.faults.bandPathStuck = true;
  ConnectedRig c(config, device);
  c.Band(5);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-" + name + host::ThreadContext()->Texts().GetText(44081));
  EXPECT_FALSE(host::ThreadContext()->Texts().GetText(44081).empty());
  EXPECT_EQ(Count(c.rig.ReceivedLines(), "RF:BAND:PATH?"), 1u + 31u);
  EXPECT_EQ(c.Elapsed(), worstCase) << "the worst case before the path error";
}

TEST_P(BandActivation, ErrorAfterSwitchingClearsTheQueueAndFails) {
  ConnectedRig c(Amplifier("PA4415", true, 1), device);
  c.rig.amp->PushError({-221, "Settings conflict"});
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-" + name + name + " reports error: -221,\"Settings conflict\"");
  auto lines = c.rig.ReceivedLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "SYST:ERR?");
  EXPECT_EQ(lines.back(), "*CLS");
  EXPECT_TRUE(c.rig.amp->Snapshot().errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Routes, BandActivation, ::testing::ValuesIn(kAllRoutes), RouteTestName);

struct ClassCase {
  const char* model;
  const char* firmware;
  bool sent;
  std::int32_t operatingClass = 1;
  std::int32_t outputMode = 0;
};
void PrintTo(const ClassCase& k, std::ostream* out) {
  *out << k.model << " " << k.firmware << " class " << k.operatingClass;
}

class ClassAndMode : public ::testing::TestWithParam<std::tuple<ClassCase, const char*>> {};

TEST_P(ClassAndMode, OnlyAPA4413FromFirmware33) {
  const auto& [k, device] = GetParam();
  auto config = Amplifier(k.model, true, 2);
  config.firmware = k.firmware;
  ConnectedRig c(config, device);
  c.Band(2, k.outputMode, k.operatingClass);
  if (!k.sent) {
    EXPECT_EQ(c.access.ActivateBand(), 2);
    EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:ERR?"));
    return;
  }
  const std::string cls = "RF2:OPER:CLA " + std::to_string(k.operatingClass);
  const std::string mode = "RF2:OUTP:MOD " + std::to_string(k.outputMode);
  if (k.operatingClass >= 0) {
    EXPECT_EQ(c.access.ActivateBand(), 2);
    EXPECT_EQ(c.rig.amp->Snapshot().operatingClass[2], k.operatingClass);
  } else {  // the amplifier refuses a negative value, and says so in its error queue
    EXPECT_EQ(ErrorOf([&] { c.access.ActivateBand(); }).Number(), errors::kBandActivation);
  }
  const auto lines = c.rig.ReceivedLines(4);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              ElementsAre("RF:BAND:PATH?", cls, mode, "SYST:ERR?"));
}

INSTANTIATE_TEST_SUITE_P(Models, ClassAndMode,
                         ::testing::Combine(::testing::Values(ClassCase{"PA4413", "3.2", false},
                                                              ClassCase{"PA4413", "3.3", true},
                                                              ClassCase{"PA4413", "3.3", true, -1,
                                                                        -2},
                                                              ClassCase{"PA4415", "4.0", false},
                                                              ClassCase{"PA4520", "3.3", false}),
                                            ::testing::ValuesIn(kAllRoutes)));

}  // namespace
}  // namespace marlin::testing
