// SetState reports a request as done only when the amplifier confirmed it, on every route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "host/thread_host.h"
#include "tests/support/case_names.h"
#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// The ways a host can leave an object not connected before asking for a state.
enum class Unconnected {
  NeverChecked,
  NamedAgain,
  Disconnected,
  StatusZeroWithoutCheck,
  StatusTwoWithoutCheck
};

struct UnconnectedCase {
  const char* title;
  Unconnected how;
};

void PrintTo(const UnconnectedCase& c, std::ostream* os) { *os << c.title; }

class SetStateNotConnected
    : public ::testing::TestWithParam<std::tuple<UnconnectedCase, const char*>> {};

TEST_P(SetStateNotConnected, RaisesThroughTheConventionAndSendsNothing) {
  const auto& [c, device] = GetParam();
  SimRig rig(Amplifier("PA4400", true, 2, true));
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let(device);
  if (c.how != Unconnected::NeverChecked) {
    amp.clsDevice_Status_Let(1);
    amp.clsDevice_Check();
    ASSERT_EQ(amp.clsDevice_Status(), 1);
  }
  switch (c.how) {
    case Unconnected::NeverChecked:
      break;
    case Unconnected::NamedAgain:
      amp.clsDevice_Name_Let(device);
      break;
    case Unconnected::Disconnected:
      amp.clsDevice_Status_Let(0);
      amp.clsDevice_Check();
      break;
    case Unconnected::StatusZeroWithoutCheck:
      amp.clsDevice_Status_Let(0);
      break;
    case Unconnected::StatusTwoWithoutCheck:  // the connection is open, but Status is not 1
      amp.clsDevice_Status_Let(2);
      break;
  }
  rig.Settle();
  rig.ClearTranscript();
  rig.trace->lines.clear();
  rig.trace->reports.clear();

  for (std::int32_t request : {state::kOff, state::kStandby, state::kOperate}) {
    const MarlinError e = ErrorOf([&] { amp.clsIAmpRemote_SetState(request); });
    EXPECT_EQ(e.Number(), 4040) << c.title;
    EXPECT_EQ(e.Description(), "Marlin Amplifier-" + std::string(device) + ": not connected");
  }
  EXPECT_THAT(rig.ReceivedLines(), IsEmpty()) << c.title;
  EXPECT_TRUE(rig.amp->Snapshot().rfOn) << "the amplifier was never told";
  EXPECT_EQ(rig.trace->reports.size(), 3u) << "one report per request, by SetState itself";
  ASSERT_FALSE(rig.trace->reports.empty());
  EXPECT_EQ(rig.trace->reports[0].number, 4040);
  EXPECT_THAT(rig.trace->Events(),
              ElementsAre("start:clsIAmpRemote_SetState", "start:clsIAmpRemote_SetState",
                          "start:clsIAmpRemote_SetState"));
}

INSTANTIATE_TEST_SUITE_P(
    Routes, SetStateNotConnected,
    ::testing::Combine(
        ::testing::Values(
            UnconnectedCase{"named, never checked", Unconnected::NeverChecked},
            UnconnectedCase{"named again while connected", Unconnected::NamedAgain},
            UnconnectedCase{"disconnected", Unconnected::Disconnected},
            UnconnectedCase{"Status 0 without Check", Unconnected::StatusZeroWithoutCheck},
            UnconnectedCase{"Status 2 without Check", Unconnected::StatusTwoWithoutCheck}),
        ::testing::ValuesIn(kAllRoutes)),
    CaseOnRouteName());

struct ReadBackCase {
  const char* title;
  const char* model;
  std::int32_t request;
};

void PrintTo(const ReadBackCase& c, std::ostream* os) { *os << c.title; }

class SetStateReadBack : public ::testing::TestWithParam<std::tuple<ReadBackCase, const char*>> {};

// An amplifier that takes "RF:OUTP:STAT OFF" but never switches RF off.
sim::AmplifierConfig RfStuckOn(const std::string& model) {
  auto config = Amplifier(model, true, 2, true);
  config.timings.rfOff = 1h;
  return config;
}

TEST_P(SetStateReadBack, OperateReadBackFailsARequestToLeaveIt) {
  const auto& [c, device] = GetParam();
  ConnectedRig rig(RfStuckOn(c.model), device);
  rig.Band(2);
  const MarlinError e = ErrorOf([&] { rig.amp.clsIAmpRemote_SetState(c.request); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + std::string(device) +
                                 ": state read back is Operate, not " +
                                 clsMarlin::StateName(c.request));
  EXPECT_THAT(rig.rig.ReceivedLines(), ::testing::Contains("RF:OUTP:STAT OFF"));
  EXPECT_TRUE(rig.rig.amp->Snapshot().rfOn);
}

TEST_P(SetStateReadBack, ConfirmedRequestSucceeds) {
  const auto& [c, device] = GetParam();
  ConnectedRig rig(Amplifier(c.model, true, 2, true), device);
  rig.Band(2);
  EXPECT_NO_THROW(rig.amp.clsIAmpRemote_SetState(c.request));
  EXPECT_FALSE(rig.rig.amp->Snapshot().rfOn);
  EXPECT_THAT(rig.rig.trace->reports, IsEmpty());
}

// Recognised models carry Off out as Standby and read it back as 0.
INSTANTIATE_TEST_SUITE_P(
    Routes, SetStateReadBack,
    ::testing::Combine(::testing::Values(ReadBackCase{"PA4400 Standby", "PA4400", state::kStandby},
                                         ReadBackCase{"PA4413 Standby", "PA4413", state::kStandby},
                                         ReadBackCase{"PA4415 Off", "PA4415", state::kOff},
                                         ReadBackCase{"PA4520 Off", "PA4520", state::kOff},
                                         ReadBackCase{"PA4520 On", "PA4520", state::kOn}),
                       ::testing::ValuesIn(kAllRoutes)),
    CaseOnRouteName());

class SetStateVerdict : public ::testing::TestWithParam<const char*> {};

TEST_P(SetStateVerdict, DefaultModelSwitchedOffAndConfirmedSucceeds) {
  ConnectedRig rig(Amplifier("PA4400", true, 2, false), GetParam());
  EXPECT_NO_THROW(rig.amp.clsIAmpRemote_SetState(state::kOff));
  EXPECT_FALSE(rig.rig.amp->Snapshot().powerOn);
}

// Band path 10 holds a "0" and "NONE" none: each is still read for what it says.
TEST_P(SetStateVerdict, OperateOnBandTenAndOnWithNoneForNoBandAreConfirmed) {
  {
    ConnectedRig rig(Amplifier("PA4415", true, 0), GetParam());
    rig.Band(10);
    EXPECT_NO_THROW(rig.amp.clsIAmpRemote_SetState(state::kOperate));
    EXPECT_EQ(rig.amp.clsIAmpRemote_GetState(), state::kOperate);
  }
  auto config = Amplifier("PA4400", true, 0);
  config.noBandAnswer = "NONE";
  ConnectedRig rig(config, GetParam());
  EXPECT_NO_THROW(rig.amp.clsIAmpRemote_SetState(state::kOn));
  EXPECT_EQ(rig.amp.clsIAmpRemote_GetState(), state::kOn);
}

TEST_P(SetStateVerdict, ADeadLinkNeverReadsAsAConfirmedOff) {
  const std::string device = GetParam();
  ConnectedRig rig(Amplifier("PA4400", true, 2, false), GetParam(),
                   RigOptions{.answerTimeout = std::chrono::milliseconds(100)});
  auto faults = rig.rig.amp->CurrentFaults();
  // A connection can be lost; an in-process board can only fall silent.
  if (device == kSimBoardDevice) {
    faults.silent = true;
  } else {
    faults.dropConnection = true;
  }
  rig.rig.amp->SetFaults(faults);
  const MarlinError e = ErrorOf([&] { rig.amp.clsIAmpRemote_SetState(state::kOff); });
  EXPECT_NE(e.Number(), 0) << "an error, whichever the route raises first";
  EXPECT_EQ(e.Description().rfind("Marlin Amplifier-" + std::string(GetParam()) + ": ", 0), 0u)
      << e.Description();
}

TEST_P(SetStateVerdict, AnswerFiveReadsTheStateAgain) {
  ConnectedRig rig(RfStuckOn("PA4400"), GetParam());
  rig.rig.trace->answers = {5};
  // The operator switches RF off by hand, then asks for a retry.
  rig.rig.trace->onReport = [&](const MarlinError&) { rig.rig.clock->SleepFor(2h); };
  EXPECT_NO_THROW(rig.amp.clsIAmpRemote_SetState(state::kStandby));

  ASSERT_EQ(rig.rig.trace->reports.size(), 1u);
  EXPECT_EQ(rig.rig.trace->reports[0].number, 4040);
  EXPECT_EQ(rig.rig.trace->reports[0].description, "Marlin Amplifier-" + std::string(GetParam()) +
                                                       ": state read back is Operate, not Standby");
  auto lines = rig.rig.ReceivedLines();
  auto off = std::find(lines.begin(), lines.end(), "RF:OUTP:STAT OFF");
  ASSERT_NE(off, lines.end());
  EXPECT_EQ(Count({off, lines.end()}, "SYST:ERR?"), 2u) << "read back, then read back again";
  EXPECT_EQ(Count(rig.rig.trace->Events(), "end:clsIAmpRemote_SetState"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Routes, SetStateVerdict, ::testing::ValuesIn(kAllRoutes), RouteTestName);

}  // namespace
}  // namespace marlin::testing
