// The same requests on every route, each handing its answers back in its own form (LAN: the bare
// text; VISA: line feed and NUL fill; GPIB: line feed and space padding), against amplifiers that
// answer "NONE" or an empty line without a band path, an empty lock owner, or nothing at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::StartsWith;

class AnswerForms : public ::testing::TestWithParam<const char*> {
 protected:
  const char* device = GetParam();
};

sim::AmplifierConfig NoneDialect(const std::string& model, int band = 0) {
  auto config = Amplifier(model, true, band);
  config.noBandAnswer = "NONE";
  return config;
}

bool HasFill(const std::string& text) {
  return text.find('\0') != std::string::npos || text.find('\n') != std::string::npos ||
         (!text.empty() && text.back() == ' ');
}

TEST_P(AnswerForms, StandbyWithoutBandPathInTheNoneDialectSendsNothing) {
  ConnectedRig c(NoneDialect("PA4400"), device);
  EXPECT_NO_THROW(c.access.SetNewState(state::kStandby));
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?"));
}

TEST_P(AnswerForms, OperateInTheNoneDialectSelectsTheBand) {
  ConnectedRig c(NoneDialect("PA4415"), device);
  c.Band(2);
  EXPECT_NO_THROW(c.access.SetNewState(state::kOperate));
  auto lines = c.rig.ReceivedLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              ElementsAre("RF:BAND:PATH?", "SYST:LOCK:OWN?", "RF:BAND:PATH 2"));
  EXPECT_EQ(c.rig.amp->Snapshot().bandPath, 2);
  EXPECT_TRUE(c.rig.amp->Snapshot().rfOn);
  EXPECT_EQ(c.access.GetState(), state::kOperate);
}

TEST_P(AnswerForms, NoBandPathReadsAsItsDialectSays) {
  for (const char* none : sim::kNoBandAnswers) {
    auto config = Amplifier("PA4415", true, 0);
    config.noBandAnswer = none;
    ConnectedRig c(config, device);
    c.Band(0);
    EXPECT_EQ(c.access.ActivateBand(), std::string(none) == "0" ? 0 : -1) << none;
    EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?")) << none;
  }
}

TEST_P(AnswerForms, ABandAlreadySetIsReadAsItsNumber) {
  ConnectedRig c(Amplifier("PA4415", true, 3), device);
  c.Band(0);
  EXPECT_EQ(c.access.ActivateBand(), 3);
}

TEST_P(AnswerForms, AnEmptyLockOwnerRefusesTheSwitchAsLocal) {
  auto config = Amplifier("PA4415", true, 0);
  config.initial.lockOwner = "";
  ConnectedRig c(config, device);
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.access.SetNewState(state::kOperate); });
  EXPECT_EQ(e.Number(), errors::kBandActivation);
  const std::string name = device;
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + name + ": Marlin Amplifier-" + name +
                                 "<LOC>:Switching could not be executed because " + name +
                                 " amplifier is not in REMOTE mode!");
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?", "SYST:LOCK:OWN?"));
  EXPECT_EQ(c.rig.amp->Snapshot().bandPath, 0);
}

TEST_P(AnswerForms, AnotherLockOwnerIsNamedWithoutTheRoutesFill) {
  auto config = Amplifier("PA4415", true, 0);
  config.initial.lockOwner = "RS232";
  ConnectedRig c(config, device);
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + std::string(device) +
                                 "<RS232>:Switching could not be executed because " + device +
                                 " amplifier is not in REMOTE mode!");
}

TEST_P(AnswerForms, AnErrorAfterSwitchingIsReportedWithoutTheRoutesFill) {
  ConnectedRig c(Amplifier("PA4415", true, 0), device);
  c.Band(2);
  c.rig.amp->PushError({-300, "Device-specific error"});
  const MarlinError e = ErrorOf([&] { c.access.ActivateBand(); });
  EXPECT_EQ(e.Number(), errors::kBandActivation);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + std::string(device) + device +
                                 " reports error: -300,\"Device-specific error\"");
  EXPECT_EQ(c.rig.ReceivedLines().back(), "*CLS");
}

TEST_P(AnswerForms, AFaultsErrorTextIsTheSameOnEveryRoute) {
  ConnectedRig c(Amplifier("PA4415", true, 2, true), device);
  c.rig.amp->PushError({-300, "Device-specific error"});
  std::string text;
  EXPECT_EQ(c.access.GetState(text), state::kFault);
  EXPECT_EQ(text, "-300,\"Device-specific error\"");
  EXPECT_FALSE(HasFill(text));
}

struct StateCase {
  const char* model;
  bool powerOn;
  int band;
  bool rfOn;
  const char* noBandAnswer;
  std::int32_t expected;
};

TEST_P(AnswerForms, TheStateQueryReadsTheSameOnEveryRoute) {
  const StateCase cases[] = {
      {"PA4400", false, 0, false, "0", state::kOff},
      {"PA4400", true, 0, false, "0", state::kOn},
      {"PA4400", true, 0, false, "NONE", state::kOn},
      {"PA4400", true, 0, false, "", state::kOn},
      {"PA4400", true, 2, false, "0", state::kStandby},
      {"PA4400", true, 2, true, "0", state::kOperate},
      {"PA4415", true, 0, false, "NONE", state::kOff},
      {"PA4415", true, 2, false, "0", state::kOff},
      {"PA4415", true, 2, true, "NONE", state::kOperate},
      {"PA4415", true, 10, true, "0", state::kOperate},  // band 10 is a path for all its "0"
      {"PA4400", true, 10, false, "NONE", state::kStandby},
  };
  for (const auto& k : cases) {
    auto config = Amplifier(k.model, k.powerOn, k.band, k.rfOn);
    config.noBandAnswer = k.noBandAnswer;
    ConnectedRig c(config, device);
    EXPECT_EQ(c.access.GetState(), k.expected)
        << k.model << " power " << k.powerOn << " band " << k.band << " rf " << k.rfOn << " "
        << k.noBandAnswer;
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, AnswerForms, ::testing::ValuesIn(kAllRoutes), RouteTestName);

// An amplifier that answers nothing: every read ends at its timeout. The outcome is each route's
// own for a silent amplifier, never a conversion error that hides the timeout.
class SilentAmplifier : public ::testing::TestWithParam<const char*> {
 protected:
  SilentAmplifier() {
    auto config = Amplifier("PA4415", true, 2, true);
    c = std::make_unique<ConnectedRig>(config, GetParam(), RigOptions{100ms});
    c->rig.amp->SetFaults([] {
      sim::Faults f;
      f.silent = true;
      return f;
    }());
  }

  // The error a route raises when its read times out; 0 where the route raises none.
  std::int32_t TimeoutError() const {
    const std::string device = GetParam();
    if (device == kLanDevice) return errors::kTransport;
    if (IsGpib(device)) return errors::kGpibGiveUp;
    return 0;
  }

  template <class F>
  void ExpectTimeoutOutcome(F&& work, const char* what) {
    if (TimeoutError() == 0) {
      EXPECT_NO_THROW(work()) << what;
      return;
    }
    const MarlinError e = ErrorOf(work);
    EXPECT_EQ(e.Number(), TimeoutError()) << what << ": " << e.Description();
  }

  std::unique_ptr<ConnectedRig> c;
};

TEST_P(SilentAmplifier, StandbyEndsWithTheRoutesTimeoutNotAConversionError) {
  ExpectTimeoutOutcome([&] { c->access.SetNewState(state::kStandby); }, "Standby");
  // Nothing was switched on the strength of an answer that never came.
  EXPECT_THAT(c->rig.ReceivedLines(), ElementsAre("RF:BAND:PATH?"));
  EXPECT_TRUE(c->rig.amp->Snapshot().rfOn);
}

TEST_P(SilentAmplifier, OperateEndsWithTheRoutesTimeoutNotAConversionError) {
  c->Band(3);
  const std::string device = GetParam();
  if (device == kVisaDevice) {
    // No answer on VISA reads as an empty text: an empty lock owner, so local control.
    const MarlinError e = ErrorOf([&] { c->access.SetNewState(state::kOperate); });
    EXPECT_EQ(e.Number(), errors::kBandActivation) << e.Description();
  } else {
    ExpectTimeoutOutcome([&] { c->access.SetNewState(state::kOperate); }, "Operate");
  }
  EXPECT_THAT(c->rig.ReceivedLines(), Not(::testing::Contains(StartsWith("RF:BAND:PATH 3"))));
  EXPECT_EQ(c->rig.amp->Snapshot().bandPath, 2);
}

TEST_P(SilentAmplifier, TheStateQueryOfADeadLinkReadsOffOnEveryRoute) {
  std::string text = "left over";
  EXPECT_EQ(c->access.GetState(text), state::kOff);
  EXPECT_EQ(text, "");
}

TEST_P(SilentAmplifier, AConfirmationWaitEndsWithTheRoutesTimeout) {
  ExpectTimeoutOutcome([&] { c->access.WaitForComplete("RF:OUTP:STAT?", "1", 1); },
                       "WaitForComplete");
  const std::size_t polls = c->rig.ReceivedLines().size();
  EXPECT_EQ(polls, TimeoutError() == 0 ? 3u : 1u) << "VISA polls to the limit, others stop";
}

INSTANTIATE_TEST_SUITE_P(Routes, SilentAmplifier, ::testing::ValuesIn(kAllRoutes), RouteTestName);

}  // namespace
}  // namespace marlin::testing
