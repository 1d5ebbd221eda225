// State transitions with answers the simulator does not give.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/error_of.h"
#include "tests/support/scripted_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

class TransitionsScripted : public ScriptedFixture {};

TEST_F(TransitionsScripted, StandbyWithAnAllSpaceBandAnswerSendsNothing) {
  instrument->Answer("RF:BAND:PATH?", {"    "});
  access.SetNewState(state::kStandby);
  EXPECT_THAT(instrument->Lines(), ElementsAre("RF:BAND:PATH?"));
}

TEST_F(TransitionsScripted, StandbyWithNoneForBandSendsNothing) {
  for (const char* none : {"NONE", " NONE ", "NONE\r\n"}) {
    instrument->sent.clear();
    instrument->Answer("RF:BAND:PATH?", {none});
    EXPECT_NO_THROW(access.SetNewState(state::kStandby)) << none;
    EXPECT_THAT(instrument->Lines(), ElementsAre("RF:BAND:PATH?")) << none;
  }
}

TEST_F(TransitionsScripted, StandbyWithAnotherWordForBandFailsWithTheSeparatorPrefix) {
  for (const char* word : {"NONEX", "OFF", "N", "-1"}) {
    instrument->sent.clear();
    instrument->Answer("RF:BAND:PATH?", {word});
    const MarlinError e = ErrorOf([&] { access.SetNewState(state::kStandby); });
    EXPECT_EQ(e.Number(), 13) << word;
    EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP1: Type mismatch") << word;
    EXPECT_THAT(instrument->Lines(), ElementsAre("RF:BAND:PATH?")) << word;
  }
}

TEST_F(TransitionsScripted, StandbyReadsABandNumberWhole) {
  for (const auto& [band, active] :
       std::vector<std::pair<const char*, bool>>{{"10", true}, {"01", true}, {"00", false}}) {
    instrument->sent.clear();
    instrument->Answer("RF:BAND:PATH?", {band});
    instrument->Answer("RF:OUTP:STAT?", {"0"});
    access.SetNewState(state::kStandby);
    const auto lines = instrument->Lines();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "RF:OUTP:STAT OFF") != lines.end(), active)
        << band;
  }
}

TEST_F(TransitionsScripted, OperateOutsideTheBandRangeSendsNoModulationCommand) {
  access.AmplParams().BandPath = 0;
  for (const char* band : {"NONE", "11", "0"}) {
    instrument->sent.clear();
    instrument->Answer("RF:BAND:PATH?", {band});
    access.SetNewState(state::kOperate);
    EXPECT_THAT(instrument->Lines(), ElementsAre("RF:BAND:PATH?")) << band;
  }
}

TEST_F(TransitionsScripted, ErrorsOfTheBandActivationArriveDoublyPrefixed) {
  access.AmplParams().BandPath = 2;
  instrument->Answer("RF:BAND:PATH?", {"1"});
  instrument->Answer("SYST:LOCK:OWN?", {"LOC"});
  const MarlinError e = ErrorOf([&] { access.SetNewState(state::kOperate); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description().rfind("Marlin Amplifier-AMP1: Marlin Amplifier-AMP1<LOC>:", 0), 0u)
      << e.Description();
  EXPECT_THAT(instrument->Lines(), Not(Contains("RF:BAND:PATH 2")));
}

}  // namespace
}  // namespace marlin::testing
