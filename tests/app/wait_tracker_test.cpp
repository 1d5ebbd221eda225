#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/observed_host.h"
#include "app/progress_display.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
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
    ObservedHostFactory factory(std::make_shared<StandaloneHostFactory>(config), tracker, 100);
    trace = factory.MakeTrace(*host::ThreadContext());
    tools = factory.MakeTools();
  }

  void Start(const std::string& label, const std::string& data = "") {
    trace->WriteTrace("start", "Telvar_Amplifier", "clsMarlin", label, data, "1");
  }
  void End(const std::string& label) { trace->WriteTrace("end", "", "", label, "", "1"); }
  // A wait as the driver makes it: announced, then asked of the host.
  void Wait(WaitId id, double ms) {
    tracker->DriverWaitStarts(id, ms);
    tools->Wait(static_cast<float>(ms));
  }

  testing::TempFolder folder;
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  RecordingListener listener;
  std::shared_ptr<WaitTracker> tracker = std::make_shared<WaitTracker>(clock, listener);
  std::unique_ptr<HostTrace> trace;
  std::unique_ptr<HostTools> tools;
};

TEST_F(ObservedWaits, AConfirmationIsOneActivityOverItsPollsAndAPauseIsItsOwn) {
  Start("SetNewState", "NewState = Operate");
  Wait(WaitId::OutputOn, 5000);
  Start("WaitForComplete", "Command = RF:OUTP:STAT?");
  for (int poll = 0; poll < 3; ++poll) Wait(WaitId::OperateConfirmation, 500);
  End("WaitForComplete");
  End("SetNewState");
  EXPECT_THAT(listener.seen,
              ElementsAre(IsSeen("began", "0.0 s of 5.0 s  waiting for the RF output to come on"),
                          IsSeen("ended", "5.0 s of 5.0 s  waiting for the RF output to come on"),
                          IsSeen("began", "0.0 s of 30.5 s  waiting for Operate to be confirmed"),
                          IsSeen("ended", "1.5 s of 30.5 s  waiting for Operate to be confirmed")));
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
  Wait(WaitId::OutputOffConfirmation, 500);
  End("WaitForComplete");
  Start("WaitForComplete", "Command = SYST:POW:STAT?");
  Wait(WaitId::PowerOnConfirmation, 500);
  End("WaitForComplete");
  Start("ActivateBand");
  Wait(WaitId::BandSwitch, 2000);
  Wait(WaitId::BandSwitch, 500);
  End("ActivateBand");
  EXPECT_THAT(
      listener.seen,
      ElementsAre(IsSeen("began", "0.0 s of 15.5 s  waiting for the RF output off to be confirmed"),
                  IsSeen("ended", "0.5 s of 15.5 s  waiting for the RF output off to be confirmed"),
                  IsSeen("began", "0.0 s of 30.5 s  waiting for power on to be confirmed"),
                  IsSeen("ended", "0.5 s of 30.5 s  waiting for power on to be confirmed"),
                  IsSeen("began", "0.0 s of 17.5 s  waiting for the band path to switch"),
                  IsSeen("ended", "2.5 s of 17.5 s  waiting for the band path to switch")));
}

// The driver names its waits: a pause of another length than the table's keeps its name.
TEST_F(ObservedWaits, AnAnnouncedPauseKeepsItsNameWhateverItsLength) {
  Start("SetNewState", "NewState = Operate");
  Wait(WaitId::OutputOn, 4000);
  Wait(WaitId::OutputOnPA4413, 100);
  EXPECT_THAT(listener.seen,
              ElementsAre(IsSeen("began", "0.0 s of 4.0 s  waiting for the RF output to come on"),
                          IsSeen("ended", "4.0 s of 4.0 s  waiting for the RF output to come on"),
                          IsSeen("began", "0.0 s of 0.1 s  waiting for the RF output to come on"),
                          IsSeen("ended", "0.1 s of 0.1 s  waiting for the RF output to come on")));
}

TEST_F(ObservedWaits, AProcedureLeftOpenByAnErrorIsForgottenAtTheNextCall) {
  tracker->ProcedureStarted("ActivateBand");
  tracker->DriverWaitStarts(WaitId::BandSwitch, 2000);
  tracker->WaitStarting(2000);
  tracker->Reset();
  // No time passes here: a wait broken off counts what it ran, one that returned its length.
  tracker->WaitStarting(500);
  tracker->WaitFinished(false);
  tracker->WaitStarting(500);
  tracker->WaitFinished();
  EXPECT_THAT(listener.seen,
              ElementsAre(IsSeen("began", "0.0 s of 17.5 s  waiting for the band path to switch"),
                          IsSeen("ended", "0.0 s of 17.5 s  waiting for the band path to switch"),
                          IsSeen("began", "0.0 s of 0.5 s  pause"),
                          IsSeen("ended", "0.0 s of 0.5 s  pause"),
                          IsSeen("began", "0.0 s of 0.5 s  pause"),
                          IsSeen("ended", "0.5 s of 0.5 s  pause")));
}

// A clock that moves on every reading and sleeps a little longer than asked, as a real one does:
// a wait that returned counts exactly its length, so the time shown never passes the limit.
class CreepingClock final : public Clock {
 public:
  Duration Now() const override { return now_ += std::chrono::microseconds(7); }
  void SleepFor(Duration span) override { now_ += span + 10ms; }
  Duration RealSpan(Duration) const override { return {}; }

 private:
  mutable Duration now_{};
};

TEST(WaitTrackerOnARealClock, ShowsTheWaitsWholeAndNeverMore) {
  auto clock = std::make_shared<CreepingClock>();
  RecordingListener listener;
  WaitTracker tracker(clock, listener);
  auto wait = [&](WaitId id, double ms) {
    tracker.DriverWaitStarts(id, ms);
    tracker.WaitStarting(ms);
    clock->SleepFor(FromMilliseconds(ms));
    tracker.WaitFinished();
  };
  tracker.ProcedureStarted("SetNewState");
  wait(WaitId::Modulation, 50);
  tracker.ProcedureStarted("WaitForComplete");
  for (int poll = 0; poll < 61; ++poll) wait(WaitId::OperateConfirmation, 500);
  tracker.ProcedureEnded("WaitForComplete");
  EXPECT_THAT(
      listener.seen,
      ElementsAre(
          IsSeen("began", "0.0 s of 0.1 s  waiting for the modulation setting to take effect"),
          IsSeen("ended", "0.1 s of 0.1 s  waiting for the modulation setting to take effect"),
          IsSeen("began", "0.0 s of 30.5 s  waiting for Operate to be confirmed"),
          IsSeen("ended", "30.5 s of 30.5 s  waiting for Operate to be confirmed")));
}

// A query's pause tells the route's limits; a new connection check may lead to another route.
TEST_F(ObservedWaits, TheRoutesQueryPauseIsLearntUntilTheNextConnectionCheck) {
  auto confirm = [&] {
    Start("SetNewState", "NewState = Operate");
    Start("WaitForComplete", "Command = RF:OUTP:STAT?");
    Wait(WaitId::OperateConfirmation, 500);
    End("WaitForComplete");
    End("SetNewState");
  };
  Start("CheckDevicePhysical");
  Start("ReadCmdResponse");
  Wait(WaitId::QueryPause, 200);
  End("ReadCmdResponse");
  End("CheckDevicePhysical");
  confirm();
  Start("CheckDevicePhysical");
  End("CheckDevicePhysical");
  confirm();
  EXPECT_THAT(listener.seen,
              ElementsAre(IsSeen("began", "0.0 s of 42.7 s  waiting for Operate to be confirmed"),
                          IsSeen("ended", "0.5 s of 42.7 s  waiting for Operate to be confirmed"),
                          IsSeen("began", "0.0 s of 30.5 s  waiting for Operate to be confirmed"),
                          IsSeen("ended", "0.5 s of 30.5 s  waiting for Operate to be confirmed")));
}

TEST_F(ObservedWaits, TheTransportsPauseWithinAQueryIsNoWaitOfItsOwn) {
  Start("ReadCmdResponse");
  Wait(WaitId::QueryPause, 200);
  End("ReadCmdResponse");
  EXPECT_TRUE(listener.seen.empty());
  EXPECT_EQ(clock->Now(), 200ms);
}

TEST_F(ObservedWaits, AWaitTheHostRefusesIsRefusedWhole) {
  EXPECT_THROW(tools->Wait(-1), MarlinError);
  EXPECT_TRUE(listener.seen.empty());
}

// The waits of real SetState calls against the simulator, on every route: each named and limited
// by the driver's wait table, the transport's query pauses not shown but within the limits.
struct ExpectedWait {
  std::string what;
  double limitMs;        // on a route without a query pause
  int queries = 0;       // each adding the route's query pause to the limit
  bool atLimit = false;  // the amplifier never answers what it waits for
};
struct Switch {
  std::string title;
  sim::AmplifierConfig amplifier;
  std::int32_t to;
  std::int32_t readBack;
  std::vector<ExpectedWait> waits;
  bool bandOnLastPoll = false;  // the band path arrives as the last poll is sent
  bool refused = false;         // SetState raises, since the read-back is not what it asked
};
void PrintTo(const Switch& c, std::ostream* out) { *out << c.title; }

class SetStateWaits : public ::testing::TestWithParam<std::tuple<Switch, const char*>> {};

class EndedWaits final : public WaitListener {
 public:
  void WaitBegan(const WaitActivity&) override {}
  void WaitProgressed(const WaitActivity&) override {}
  void WaitEnded(const WaitActivity& a) override { seen.push_back(a); }
  std::vector<WaitActivity> seen;
};

TEST_P(SetStateWaits, ShowTheDescriptionAndLimitOfTheDriversWaitTable) {
  const auto& [c, device] = GetParam();
  const double pause = testing::QueryPause(device);
  sim::AmplifierConfig amplifier = c.amplifier;
  if (c.bandOnLastPoll) amplifier.timings.bandSwitch = FromMilliseconds(17500 + 30 * pause);
  testing::SimRig rig(amplifier);
  EndedWaits listener;
  StandaloneHostConfig config;
  config.clock = rig.clock;
  auto tracker = std::make_shared<WaitTracker>(rig.clock, listener);
  ObservedHostFactory observed(std::make_shared<StandaloneHostFactory>(config), tracker, 100);
  host::Replace(observed.MakeTrace(*host::ThreadContext()));
  host::Replace(observed.MakeTools());
  // Connected as the CLI connects, with the waits already observed.
  clsMarlin amp{host::ThreadContext()};
  amp.SetWaitObserver(tracker);
  amp.clsDevice_Name_Let(device);
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Check();
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  AmplParamsRecord params;
  params.BandPath = 2;
  amp.clsIAmpRemote_AmplParams_Let(params);

  if (c.refused) {
    EXPECT_THROW(amp.clsIAmpRemote_SetState(c.to), MarlinError);
  } else {
    EXPECT_NO_THROW(amp.clsIAmpRemote_SetState(c.to));
  }
  EXPECT_EQ(amp.clsIAmpRemote_GetState(), c.readBack);
  ASSERT_EQ(listener.seen.size(), c.waits.size());
  for (std::size_t i = 0; i < c.waits.size(); ++i) {
    const ExpectedWait& expected = c.waits[i];
    const WaitActivity& seen = listener.seen[i];
    EXPECT_EQ(seen.what, expected.what);
    ASSERT_TRUE(seen.limit.has_value()) << seen.what;
    EXPECT_EQ(ToMilliseconds(*seen.limit), expected.limitMs + expected.queries * pause)
        << seen.what;
    EXPECT_LE(seen.elapsed, *seen.limit) << seen.what;
    if (expected.atLimit) EXPECT_EQ(seen.elapsed, *seen.limit) << seen.what;
  }
}

const ExpectedWait kBandSwitch{"waiting for the band path to switch", 17500, 35};
const ExpectedWait kModulation{"waiting for the modulation setting to take effect", 50};
const ExpectedWait kOperateConfirmed{"waiting for Operate to be confirmed", 30500, 61};

sim::AmplifierConfig RfNeverOn() {
  auto config = testing::Amplifier("PA4415", true, 0);
  config.timings.rfOn = std::chrono::hours(1);
  return config;
}

INSTANTIATE_TEST_SUITE_P(
    Routes, SetStateWaits,
    ::testing::Combine(
        ::testing::Values(
            Switch{"OffToOperate",
                   testing::Amplifier("PA4400", false),
                   state::kOperate,
                   state::kOperate,
                   {{"waiting for power on to be confirmed", 30500, 61},
                    {"waiting for the amplifier to power up", 15000},
                    {"waiting for the fault reset to take effect", 500},
                    {"waiting for the amplifier to settle after the fault reset", 1000},
                    kBandSwitch,
                    kModulation,
                    {"waiting for the RF output to come on", 5000},
                    kOperateConfirmed}},
            Switch{"OperateToStandby",
                   testing::Amplifier("PA4413", true, 2, true),
                   state::kStandby,
                   state::kOff,  // a recognised model reads Standby as Off
                   {{"waiting for the RF output to go off", 2000},
                    {"waiting for the RF output off to be confirmed", 15500, 31}}},
            Switch{"StandbyToOperate",
                   testing::Amplifier("PA4413", true, 0),
                   state::kOperate,
                   state::kOperate,
                   {kBandSwitch,
                    kModulation,
                    {"waiting for the RF output to come on", 2000},
                    kOperateConfirmed}},
            Switch{"EveryPollTakenToTheLimit",
                   RfNeverOn(),
                   state::kOperate,
                   state::kOff,
                   {{kBandSwitch.what, kBandSwitch.limitMs, kBandSwitch.queries, true},
                    kModulation,
                    {"waiting for the RF output to come on", 5000},
                    {kOperateConfirmed.what, kOperateConfirmed.limitMs, 61, true}},
                   true,
                   true}),
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
