#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/observed_host.h"
#include "app/progress_display.h"
#include "driver/host_registry.h"
#include "host/standalone_host.h"
#include "tests/host/temp_folder.h"
#include "tests/support/connected_rig.h"

namespace marlin::cli {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

struct Seen {
  std::string event;
  std::string line;  // ProgressDisplay::Line of the activity
};

class RecordingListener final : public WaitListener {
 public:
  void WaitBegan(const WaitActivity& a) override { seen.push_back({"began", Line(a)}); }
  void WaitProgressed(const WaitActivity&) override { ++progress; }
  void WaitEnded(const WaitActivity& a) override { seen.push_back({"ended", Line(a)}); }
  static std::string Line(const WaitActivity& a) { return ProgressDisplay::Line(a); }
  std::vector<Seen> seen;
  int progress = 0;
};

MATCHER_P2(IsSeen, event, line, "") { return arg.event == event && arg.line == line; }

// The driver's side of the services as a driver would use them: trace lines and waits.
class ObservedWaits : public ::testing::Test {
 protected:
  ObservedWaits() {
    StandaloneHostConfig config;
    config.clock = clock;
    config.traceFile = folder.Path() / "trace.jsonl";
    ObservedHostFactory factory(std::make_shared<StandaloneHostFactory>(config),
                                std::make_shared<WaitTracker>(clock, listener), 100);
    trace = factory.MakeTrace();
    tools = factory.MakeTools();
  }

  void Start(const std::string& label, const std::string& data = "") {
    trace->WriteTrace("start", "Telvar_Amplifier", "clsMarlin", label, data, "1");
  }
  void End(const std::string& label) { trace->WriteTrace("end", "", "", label, "", "1"); }

  testing::TempFolder folder;
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  RecordingListener listener;
  std::unique_ptr<HostTrace> trace;
  std::unique_ptr<HostTools> tools;
};

TEST_F(ObservedWaits, AConfirmationIsOneActivityOverItsPollsAndAPauseIsItsOwn) {
  Start("SetNewState", "NewState = Operate");
  tools->Wait(5000);
  Start("WaitForComplete", "Command = RF:OUTP:STAT?");
  for (int poll = 0; poll < 3; ++poll) tools->Wait(500);
  End("WaitForComplete");
  End("SetNewState");
  EXPECT_THAT(listener.seen,
              ElementsAre(IsSeen("began", "0.0 s of 5.0 s  waiting for the RF output to come on"),
                          IsSeen("ended", "5.0 s of 5.0 s  waiting for the RF output to come on"),
                          IsSeen("began", "0.0 s of 30.0 s  waiting for Operate to be confirmed"),
                          IsSeen("ended", "1.5 s of 30.0 s  waiting for Operate to be confirmed")));
  // Slices of 100 ms: at least 49 reports within the pause and 4 within each poll.
  EXPECT_GE(listener.progress, 49 + 3 * 4);
  // The waits lasted exactly what was asked.
  EXPECT_EQ(clock->Now(), 6500ms);
  // The trace file still gets the lines, since its sink asked for them.
  const std::string file = testing::TempFolder::Read(folder.Path() / "trace.jsonl");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 4);
}

TEST_F(ObservedWaits, LimitsFollowTheConfirmedQueryAndTheTarget) {
  Start("SetNewState", "NewState = Standby");
  Start("WaitForComplete", "Command = RF:OUTP:STAT?");
  tools->Wait(500);
  End("WaitForComplete");
  Start("WaitForComplete", "Command = SYST:POW:STAT?");
  tools->Wait(500);
  End("WaitForComplete");
  Start("ActivateBand");
  tools->Wait(2000);
  tools->Wait(500);
  End("ActivateBand");
  EXPECT_THAT(
      listener.seen,
      ElementsAre(IsSeen("began", "0.0 s of 15.0 s  waiting for the RF output off to be confirmed"),
                  IsSeen("ended", "0.5 s of 15.0 s  waiting for the RF output off to be confirmed"),
                  IsSeen("began", "0.0 s of 30.0 s  waiting for power on to be confirmed"),
                  IsSeen("ended", "0.5 s of 30.0 s  waiting for power on to be confirmed"),
                  IsSeen("began", "0.0 s of 17.5 s  waiting for the band path to switch"),
                  IsSeen("ended", "2.5 s of 17.5 s  waiting for the band path to switch")));
}

TEST_F(ObservedWaits, AProcedureLeftOpenByAnErrorIsForgottenAtTheNextCall) {
  auto tracker = std::make_shared<WaitTracker>(clock, listener);
  tracker->ProcedureStarted("ActivateBand", "");
  tracker->WaitStarting(2000);
  tracker->Reset();
  tracker->WaitStarting(500);
  tracker->WaitFinished();
  EXPECT_THAT(listener.seen,
              ElementsAre(IsSeen("began", "0.0 s of 17.5 s  waiting for the band path to switch"),
                          IsSeen("ended", "0.0 s of 17.5 s  waiting for the band path to switch"),
                          IsSeen("began", "0.0 s of 0.5 s  pause"),
                          IsSeen("ended", "0.0 s of 0.5 s  pause")));
}

TEST_F(ObservedWaits, TheTransportsPauseWithinAQueryIsNoWaitOfItsOwn) {
  Start("ReadCmdResponse");
  tools->Wait(200);
  End("ReadCmdResponse");
  EXPECT_TRUE(listener.seen.empty());
  EXPECT_EQ(clock->Now(), 200ms);
}

TEST_F(ObservedWaits, AWaitTheHostRefusesIsRefusedWhole) {
  EXPECT_THROW(tools->Wait(-1), MarlinError);
  EXPECT_TRUE(listener.seen.empty());
}

// The waits of real SetState calls against the simulator, on every route: each named and limited
// by the driver's wait table, the transport's query pauses not shown.
struct Switch {
  std::string title;
  sim::AmplifierConfig amplifier;
  std::int32_t to;
  std::int32_t readBack;
  std::vector<std::string> waits;  // "description / limit in ms"
};
void PrintTo(const Switch& c, std::ostream* out) { *out << c.title; }

class SetStateWaits : public ::testing::TestWithParam<std::tuple<Switch, const char*>> {};

class EndedWaits final : public WaitListener {
 public:
  void WaitBegan(const WaitActivity&) override {}
  void WaitProgressed(const WaitActivity&) override {}
  void WaitEnded(const WaitActivity& a) override {
    seen.push_back(a.what + " / " + (a.limit ? std::to_string(ToMilliseconds(*a.limit)) : "?"));
  }
  std::vector<std::string> seen;
};

std::string Wait(const std::string& what, double limitMs) {
  return what + " / " + std::to_string(limitMs);
}

TEST_P(SetStateWaits, ShowTheDescriptionAndLimitOfTheDriversWaitTable) {
  const auto& [c, device] = GetParam();
  testing::ConnectedRig rig(c.amplifier, device);
  rig.Band(2);
  EndedWaits listener;
  StandaloneHostConfig config;
  config.clock = rig.rig.clock;
  ObservedHostFactory observed(std::make_shared<StandaloneHostFactory>(config),
                               std::make_shared<WaitTracker>(rig.rig.clock, listener), 100);
  host::Replace(observed.MakeTrace());
  host::Replace(observed.MakeTools());

  rig.amp.clsIAmpRemote_SetState(c.to);
  EXPECT_EQ(rig.amp.clsIAmpRemote_GetState(), c.readBack);
  EXPECT_EQ(listener.seen, c.waits);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, SetStateWaits,
    ::testing::Combine(
        ::testing::Values(Switch{"OffToOperate",
                                 testing::Amplifier("PA4400", false),
                                 state::kOperate,
                                 state::kOperate,
                                 {Wait("waiting for power on to be confirmed", 30000),
                                  Wait("waiting for the amplifier to power up", 15000),
                                  Wait("waiting for the fault reset to take effect", 500),
                                  Wait("waiting for the amplifier to settle after the fault reset",
                                       1000),
                                  Wait("waiting for the band path to switch", 17500),
                                  Wait("waiting for the modulation setting to take effect", 50),
                                  Wait("waiting for the RF output to come on", 5000),
                                  Wait("waiting for Operate to be confirmed", 30000)}},
                          Switch{"OperateToStandby",
                                 testing::Amplifier("PA4413", true, 2, true),
                                 state::kStandby,
                                 state::kOff,  // a recognised model reads Standby as Off
                                 {Wait("waiting for the RF output to go off", 2000),
                                  Wait("waiting for the RF output off to be confirmed", 15000)}},
                          Switch{"StandbyToOperate",
                                 testing::Amplifier("PA4413", true, 0),
                                 state::kOperate,
                                 state::kOperate,
                                 {Wait("waiting for the band path to switch", 17500),
                                  Wait("waiting for the modulation setting to take effect", 50),
                                  Wait("waiting for the RF output to come on", 2000),
                                  Wait("waiting for Operate to be confirmed", 30000)}}),
        ::testing::ValuesIn(testing::kAllRoutes)),
    [](const auto& info) {
      return std::get<0>(info.param).title + "_" + testing::RouteLabel(std::get<1>(info.param));
    });

TEST(ProgressDisplay, PlainLinesOnlyForFinishedWaitsAndOneRedrawnLineOnATerminal) {
  WaitActivity activity{"waiting for the RF output to come on", 2500ms, 5000ms};
  std::ostringstream plain, live;
  ProgressDisplay(plain, false, "").WaitBegan(activity);
  ProgressDisplay(plain, false, "").WaitEnded(activity);
  EXPECT_EQ(plain.str(), "waited  2.5 s of 5.0 s  waiting for the RF output to come on\n");
  ProgressDisplay terminal(live, true, "");
  terminal.WaitBegan(activity);
  terminal.WaitEnded(activity);
  EXPECT_EQ(live.str(),
            "\r\x1b[2Kwaiting 2.5 s of 5.0 s  waiting for the RF output to come on\r\x1b[2K"
            "waited  2.5 s of 5.0 s  waiting for the RF output to come on\n");
}

}  // namespace
}  // namespace marlin::cli
