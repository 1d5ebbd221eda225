// The command sequences of each target and model, against the simulator on the virtual clock,
// one scenario body on every route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "tests/support/connected_rig.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

class Transitions : public ::testing::TestWithParam<const char*> {
 protected:
  const char* device = GetParam();
  double poll = 500 + QueryPause(device);  // between two confirmation polls
};

TEST_P(Transitions, DefaultModelOffPollsPowerUntilItReadsZero) {
  ConnectedRig c(Amplifier("PA4400", true), device);
  c.access.SetNewState(state::kOff);
  EXPECT_THAT(c.rig.ReceivedLines(),
              ElementsAre("SYST:POW:STAT OFF", "SYST:POW:STAT?", "SYST:POW:STAT?"));
  auto lines = c.rig.Received();
  EXPECT_EQ(lines[1].ms - lines[0].ms, 500);
  EXPECT_EQ(lines[2].ms - lines[1].ms, poll);
  EXPECT_FALSE(c.rig.amp->Snapshot().powerOn);
}

TEST_P(Transitions, AConfirmationThatNeverComesEndsAfter61PollsWithoutError) {
  auto config = Amplifier("PA4400", true);
  config.timings.powerOff = 1h;
  ConnectedRig c(config, device);
  EXPECT_NO_THROW(c.access.SetNewState(state::kOff));
  auto lines = c.rig.ReceivedLines();
  EXPECT_EQ(Count(lines, "SYST:POW:STAT?"), 61u);
  EXPECT_EQ(c.Elapsed(), 61 * poll) << "the worst case of an Off request";
}

TEST_P(Transitions, OnWithMainsOffOnlySwitchesPower) {
  ConnectedRig c(Amplifier("PA4400", false), device);
  c.access.SetNewState(state::kOn);
  auto lines = c.rig.ReceivedLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "SYST:POW:STAT?");
  EXPECT_EQ(lines[1], "SYST:POW:STAT ON");
  EXPECT_EQ(Count(lines, "SYST:POW:STAT?"), lines.size() - 1);
  EXPECT_THAT(lines, Not(Contains("RF:BAND:PATH 0")));
  EXPECT_TRUE(c.rig.amp->Snapshot().powerOn);
}

TEST_P(Transitions, OnWithOutputOnSwitchesOutputOffThenDropsTheBand) {
  ConnectedRig c(Amplifier("PA4400", true, 3, true), device);
  c.access.SetNewState(state::kOn);
  EXPECT_THAT(c.rig.ReceivedLines(),
              ElementsAre("SYST:POW:STAT?", "RF:OUTP:STAT?", "RF:OUTP:STAT OFF", "RF:OUTP:STAT?",
                          "RF:BAND:PATH 0"));
}

TEST_P(Transitions, StandbyWithoutBandPathSendsNothing) {
  ConnectedRig c(Amplifier("PA4400", true, 0), device);
  c.access.SetNewState(state::kStandby);
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?"));
}

TEST_P(Transitions, FaultRequestOnTheDefaultModelSendsNothing) {
  ConnectedRig c(Amplifier("PA4400", true, 2, true), device);
  c.access.SetNewState(state::kFault);
  EXPECT_TRUE(c.rig.ReceivedLines().empty());
  EXPECT_THAT(c.rig.trace->Events(), ElementsAre("start:SetNewState", "end:SetNewState"));
  EXPECT_EQ(c.rig.trace->lines[0].data, "NewState = Fault");
}

TEST_P(Transitions, OperateWithoutAnyBandSendsNoModulationCommand) {
  ConnectedRig c(Amplifier("PA4415", true, 0), device);
  c.Band(0);
  c.access.SetNewState(state::kOperate);
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?"));
  EXPECT_FALSE(c.rig.amp->Snapshot().rfOn);
}

TEST_P(Transitions, WorstCaseOperateWhenNothingConfirms) {
  auto config = Amplifier("PA4415", true, 0);
  // Reached on the last of 31 polls: 2000 ms, then 31 x 500 ms and 30 query pauses (VISA).
  config.timings.bandSwitch = FromMilliseconds(17500 + 30 * QueryPause(device));
  config.timings.rfOn = 1h;
  ConnectedRig c(config, device);
  c.Band(4);
  c.access.SetNewState(state::kOperate);
  // 2000 + 31 x 500 for the band, 50 + 5000 after the commands, 61 x 500 polls for RF; on VISA
  // every query (band read, lock owner, 31 band polls, two error checks, 61 RF polls) adds its
  // pause.
  EXPECT_EQ(c.Elapsed(), 17500 + 50 + 5000 + 30500 + QueryPause(device) * (1 + 1 + 31 + 2 + 61));
}

INSTANTIATE_TEST_SUITE_P(Routes, Transitions, ::testing::ValuesIn(kAllRoutes), RouteTestName);

using ModelOnRoute = std::tuple<const char*, const char*>;
std::string ModelOnRouteName(const ::testing::TestParamInfo<ModelOnRoute>& info) {
  return std::string(std::get<0>(info.param)) + "_" + RouteLabel(std::get<1>(info.param));
}

class RecognisedModels : public ::testing::TestWithParam<ModelOnRoute> {};

TEST_P(RecognisedModels, EveryRequestButOperateIsStandby) {
  const auto [model, device] = GetParam();
  for (std::int32_t request : {state::kOff, state::kOn, state::kFault, 7}) {
    ConnectedRig c(Amplifier(model, true, 2, true), device);
    c.access.SetNewState(request);
    auto lines = c.rig.ReceivedLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 3),
                ElementsAre("RF:BAND:PATH?", "RF:OUTP:STAT OFF", "RF:OUTP:STAT?"))
        << request;
    EXPECT_THAT(lines, Not(Contains("SYST:POW:STAT OFF")));
    EXPECT_EQ(c.Pause("RF:OUTP:STAT OFF", "RF:OUTP:STAT?"), 2500) << "2000 ms, then a 500 ms poll";
    EXPECT_FALSE(c.rig.amp->Snapshot().rfOn);
  }
}

INSTANTIATE_TEST_SUITE_P(Models, RecognisedModels,
                         ::testing::Combine(::testing::Values("PA4413", "PA4415", "PA4520"),
                                            ::testing::ValuesIn(kAllRoutes)),
                         ModelOnRouteName);

struct OperateCase {
  const char* model;
  double outputOnToFirstPoll;
};

class OperateSequence : public ::testing::TestWithParam<std::tuple<OperateCase, const char*>> {};

TEST_P(OperateSequence, SelectsTheBandThenSwitchesOutputOn) {
  const auto [operate, device] = GetParam();
  ConnectedRig c(Amplifier(operate.model, true, 0), device);
  c.Band(2);
  c.access.SetNewState(state::kOperate);
  auto lines = c.rig.ReceivedLines();
  std::vector<std::string> expected = {"RF:BAND:PATH?",    "SYST:LOCK:OWN?", "RF:BAND:PATH 2",
                                       "RF:BAND:PATH?",    "SYST:ERR?",      "SYST:ERR?",
                                       "CONT2:AMOD:FGA 0", "RF:OUTP:STAT ON"};
  ASSERT_GE(lines.size(), expected.size() + 1);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
  EXPECT_EQ(c.Pause("RF:BAND:PATH 2", "RF:BAND:PATH?"), 2500) << "2000 ms, then a 500 ms poll";
  EXPECT_EQ(c.Pause("CONT2:AMOD:FGA 0", "RF:OUTP:STAT ON"), 50);
  EXPECT_EQ(c.Pause("RF:OUTP:STAT ON", "RF:OUTP:STAT?"), operate.outputOnToFirstPoll);
  auto snapshot = c.rig.amp->Snapshot();
  EXPECT_EQ(snapshot.bandPath, 2);
  EXPECT_TRUE(snapshot.rfOn);
  EXPECT_EQ(snapshot.modulation[2], 0);
}

INSTANTIATE_TEST_SUITE_P(Models, OperateSequence,
                         ::testing::Combine(::testing::Values(OperateCase{"PA4413", 2500},
                                                              OperateCase{"PA4415", 5500},
                                                              OperateCase{"PA4400", 5500}),
                                            ::testing::ValuesIn(kAllRoutes)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).model) + "_" +
                                  RouteLabel(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace marlin::testing
