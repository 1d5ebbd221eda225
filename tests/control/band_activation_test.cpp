// Band activation with answers the simulator does not give.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/error_of.h"
#include "tests/support/mock_host.h"
#include "tests/support/scripted_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;

class BandActivationScripted : public ScriptedFixture {
 protected:
  void Band(std::int32_t band) { access.AmplParams().BandPath = band; }
};

TEST_F(BandActivationScripted, NoBandAnswersReadAsMinusOne) {
  Band(0);
  for (const char* answer : {"", "   ", "\r\n", " NONE "}) {
    instrument->Answer("RF:BAND:PATH?", {answer});
    EXPECT_EQ(access.ActivateBand(), -1) << "[" << answer << "]";
  }
}

TEST_F(BandActivationScripted, EmptyLockOwnerCountsAsLocal) {
  Band(2);
  instrument->Answer("RF:BAND:PATH?", {"1"});
  instrument->Answer("SYST:LOCK:OWN?", {"  "});
  const MarlinError e = ErrorOf([&] { access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-AMP1<LOC>:Switching could not be executed because AMP1 amplifier "
            "is not in REMOTE mode!");
}

TEST_F(BandActivationScripted, OwnerStartingWithNoneLetsTheSwitchGoAhead) {
  Band(2);
  instrument->Answer("RF:BAND:PATH?", {"1", "2"});
  instrument->Answer("SYST:LOCK:OWN?", {"NONE,REMOTE"});
  instrument->Answer("SYST:ERR?", {""});
  EXPECT_EQ(access.ActivateBand(), 2);
  EXPECT_THAT(instrument->Lines(), ElementsAre("RF:BAND:PATH?", "SYST:LOCK:OWN?", "RF:BAND:PATH 2",
                                               "RF:BAND:PATH?", "SYST:ERR?", "SYST:ERR?"));
  EXPECT_THAT(tools->waits, ElementsAre(2000.0f, 500.0f));
}

TEST_F(BandActivationScripted, AnswerThatIsNoNumberEndsWithAConversionError) {
  Band(2);
  instrument->Answer("RF:BAND:PATH?", {"B2"});
  const MarlinError e = ErrorOf([&] { access.ActivateBand(); });
  EXPECT_EQ(e.Number(), 13);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-AMP1Type mismatch");
}

TEST_F(BandActivationScripted, SecondRecordOfParametersIsTheOneUsed) {
  AmplParamsRecord first;
  first.BandPath = 3;
  AmplParamsRecord second;
  second.BandPath = 4;
  amp.clsIAmpRemote_AmplParams_Let(first);
  amp.clsIAmpRemote_AmplParams_Let(second);
  instrument->Answer("RF:BAND:PATH?", {"4"});
  instrument->Answer("SYST:ERR?", {"0,\"No error\""});
  EXPECT_EQ(access.ActivateBand(), 4);
}

}  // namespace
}  // namespace marlin::testing
