// SetState end to end against the simulator on the virtual clock, on every route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "host/thread_host.h"
#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"
#include "tests/support/fake_windows.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<std::string> Starts(const RecordingTrace& trace, const std::string& procedure) {
  std::vector<std::string> data;
  for (const auto& line : trace.lines) {
    if (line.event == "start" && line.procedure == procedure) data.push_back(line.data);
  }
  return data;
}

std::size_t Queries(const std::vector<std::string>& lines) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& l) { return !l.empty() && l.back() == '?'; }));
}

class SetStateSim : public ::testing::TestWithParam<const char*> {
 protected:
  const char* device = GetParam();
  const std::string name = device;
  // Windows and context are the host's: install them after the rig made its services.
  void UseWindows(ConnectedRig& c, std::optional<bool> allowed) {
    auto w = std::make_unique<FakeWindows>();
    windows = w.get();
    host::Replace(std::move(w));
    auto m = std::make_unique<ContextMessage>();
    if (allowed) m->context = std::make_shared<FixedContext>(*allowed);
    host::Replace(std::move(m));
    (void)c;
  }
  FakeWindows* windows = nullptr;
};

TEST_P(SetStateSim, DefaultModelIsSwitchedOnBeforeOperate) {
  ConnectedRig c(Amplifier("PA4400", false, 0), device);
  c.Band(2);
  c.amp.clsIAmpRemote_SetState(state::kOperate);
  auto snapshot = c.rig.amp->Snapshot();
  EXPECT_TRUE(snapshot.powerOn);
  EXPECT_EQ(snapshot.bandPath, 2);
  EXPECT_TRUE(snapshot.rfOn);

  auto events = c.rig.trace->Events();
  const std::vector<std::string> top = {"start:clsIAmpRemote_GetState", "start:SetNewState",
                                        "start:ResetFault", "start:GetState"};
  std::vector<std::string> order;
  int depth = 0;  // private GetState lines inside the member's own are not top level
  for (const auto& e : events) {
    if (e == "start:clsIAmpRemote_GetState") ++depth;
    if (e == "end:clsIAmpRemote_GetState") --depth;
    bool nested = depth > 0 && e == "start:GetState";
    if (!nested && std::find(top.begin(), top.end(), e) != top.end()) order.push_back(e);
  }
  EXPECT_THAT(order,
              ElementsAre("start:clsIAmpRemote_GetState", "start:SetNewState", "start:ResetFault",
                          "start:clsIAmpRemote_GetState", "start:SetNewState", "start:GetState"));
  EXPECT_THAT(Starts(*c.rig.trace, "SetNewState"),
              ElementsAre("NewState = On", "NewState = Operate"));
  EXPECT_THAT(Starts(*c.rig.trace, "clsIAmpRemote_SetState"), ElementsAre("NewState = Operate"));

  // 15 s after the power confirmation comes the fault reset; 500 ms + 1 s later the state read.
  auto lines = c.rig.Received();
  auto cls = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.text == "*CLS"; });
  ASSERT_NE(cls, lines.end());
  ASSERT_NE(cls, lines.begin());
  EXPECT_EQ((cls - 1)->text, "SYST:POW:STAT?");
  EXPECT_EQ(cls->ms - (cls - 1)->ms, 15000 + QueryPause(device));
  EXPECT_EQ((cls + 1)->text, "SYST:ERR?");
  EXPECT_EQ((cls + 1)->ms - cls->ms, 1500);
}

TEST_P(SetStateSim, DefaultModelInStandbyNeedsNoPowerOn) {
  ConnectedRig c(Amplifier("PA4400", true, 2), device);
  c.Band(2);
  c.amp.clsIAmpRemote_SetState(state::kOperate);
  EXPECT_THAT(c.rig.ReceivedLines(), Not(Contains("SYST:POW:STAT ON")));
  EXPECT_EQ(Starts(*c.rig.trace, "clsIAmpRemote_GetState").size(), 1u);
  EXPECT_TRUE(c.rig.amp->Snapshot().rfOn);
}

class RecognisedOperate : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {
 protected:
  FakeWindows* windows = nullptr;
};

TEST_P(RecognisedOperate, SwitchesWithoutPowerStepWindowOrExtraWait) {
  const auto [model, device] = GetParam();
  ConnectedRig c(Amplifier(model, true, 1), device);
  auto w = std::make_unique<FakeWindows>();
  windows = w.get();
  host::Replace(std::move(w));
  auto m = std::make_unique<ContextMessage>();
  m->context = std::make_shared<FixedContext>(true);
  host::Replace(std::move(m));
  c.Band(3);
  c.amp.clsIAmpRemote_SetState(state::kOperate);
  EXPECT_TRUE(c.rig.amp->Snapshot().rfOn);
  EXPECT_THAT(c.rig.ReceivedLines(), Not(Contains("SYST:POW:STAT?")));
  EXPECT_THAT(Starts(*c.rig.trace, "clsIAmpRemote_GetState"), IsEmpty());
  EXPECT_THAT(windows->windows, IsEmpty());
  // Band switch (2000 + 500), modulation pause, RF on pause and one poll: nothing more.
  const double rfPause = std::string(model) == "PA4413" ? 2000 : 5000;
  EXPECT_EQ(c.Elapsed(),
            2500 + 50 + rfPause + 500 + QueryPause(device) * Queries(c.rig.ReceivedLines()));
}

INSTANTIATE_TEST_SUITE_P(Models, RecognisedOperate,
                         ::testing::Combine(::testing::Values("PA4413", "PA4415"),
                                            ::testing::ValuesIn(kAllRoutes)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + "_" +
                                  RouteLabel(std::get<1>(info.param));
                         });

TEST_P(SetStateSim, OperateReadBackStandbyFailsWithAnEmptyEntry) {
  auto config = Amplifier("PA4400", true, 2);
  config.timings.rfOn = 1h;
  ConnectedRig c(config, device);
  c.Band(2);
  const MarlinError e = ErrorOf([&] { c.amp.clsIAmpRemote_SetState(state::kOperate); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + name + ": ");
}

TEST_P(SetStateSim, OperateReadBackFaultCarriesTheInstrumentsEntry) {
  ConnectedRig c(Amplifier("PA4415", true, 2), device);
  c.Band(0);  // keeps the band activation from reading the queue first
  c.rig.amp->PushError({-300, "Device error"});
  const MarlinError e = ErrorOf([&] { c.amp.clsIAmpRemote_SetState(state::kOperate); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + name + ": -300,\"Device error\"");
}

TEST_P(SetStateSim, OtherRequestsSucceedWhateverIsReadBackButOperate) {
  auto config = Amplifier("PA4400", true, 2, false);
  config.timings.powerOff = 1h;  // never confirms
  ConnectedRig c(config, device);
  EXPECT_NO_THROW(c.amp.clsIAmpRemote_SetState(state::kOff));
  EXPECT_TRUE(c.rig.amp->Snapshot().powerOn) << "read back as Standby";
}

TEST_P(SetStateSim, PA4520FaultAfterStandbyIsShownThenReported) {
  ConnectedRig c(Amplifier("PA4520", true, 2, true), device);
  UseWindows(c, std::nullopt);
  c.rig.amp->PushError({-310, "System error"});
  const MarlinError e = ErrorOf([&] { c.amp.clsIAmpRemote_SetState(state::kStandby); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(), "Marlin Amplifier-" + name + ": -310,\"System error\"");
  ASSERT_EQ(windows->boxes.size(), 1u);
  EXPECT_EQ(windows->boxes[0].text, "-310,\"System error\"");
  EXPECT_EQ(windows->boxes[0].title, name);
  EXPECT_EQ(windows->boxes[0].style, 16);
}

TEST_P(SetStateSim, PA4520StandbyWithoutFaultSettlesFourSeconds) {
  ConnectedRig c(Amplifier("PA4520", true, 2, true), device);
  UseWindows(c, std::nullopt);
  c.amp.clsIAmpRemote_SetState(state::kStandby);
  EXPECT_THAT(windows->boxes, IsEmpty());
  auto lines = c.rig.Received();
  ASSERT_GE(lines.size(), 2u);
  // The settling wait sits between the last output poll and the state query.
  auto err =
      std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.text == "SYST:ERR?"; });
  ASSERT_NE(err, lines.end());
  EXPECT_EQ(err->ms - (err - 1)->ms, 4000 + QueryPause(device));
}

struct WindowCase {
  std::optional<bool> allowed;
  std::int32_t request;
  bool window;
  const char* label;
  std::int32_t colour;
};

class PA4520Window : public ::testing::TestWithParam<WindowCase> {};

TEST_P(PA4520Window, ShownOnlyWithTheHostsPermissionAndGoneAtTheEnd) {
  const WindowCase& w = GetParam();
  ConnectedRig c(Amplifier("PA4520", true, 2));
  auto fake = std::make_unique<FakeWindows>();
  FakeWindows* windows = fake.get();
  host::Replace(std::move(fake));
  auto m = std::make_unique<ContextMessage>();
  if (w.allowed) m->context = std::make_shared<FixedContext>(*w.allowed);
  host::Replace(std::move(m));
  c.Band(2);
  c.amp.clsIAmpRemote_SetState(w.request);
  if (!w.window) {
    EXPECT_THAT(windows->windows, IsEmpty());
    return;
  }
  ASSERT_EQ(windows->windows.size(), 1u);
  const ShownWindow& shown = *windows->windows[0];
  EXPECT_EQ(shown.label, w.label);
  EXPECT_EQ(shown.colour, w.colour);
  EXPECT_EQ(shown.caption, "AMP_LAN");
  EXPECT_TRUE(shown.shown);
  EXPECT_TRUE(shown.closed);
  EXPECT_EQ(shown.layout.stopCaption, "STOP");
}

INSTANTIATE_TEST_SUITE_P(
    Permissions, PA4520Window,
    ::testing::Values(WindowCase{std::nullopt, state::kOperate, false, "", 0},
                      WindowCase{false, state::kOperate, false, "", 0},
                      WindowCase{true, state::kOperate, true, "OPERATE", 255},
                      WindowCase{true, state::kStandby, true, "POWER OFF", 65280},
                      WindowCase{true, state::kOff, true, "POWER OFF", 65280}));

TEST_P(SetStateSim, WindowIsRemovedWhenSetStateFails) {
  ConnectedRig c(Amplifier("PA4520", true, 1), device);
  UseWindows(c, true);
  c.rig.amp->SetLockOwner("LOC");
  c.Band(2);
  EXPECT_THROW(c.amp.clsIAmpRemote_SetState(state::kOperate), MarlinError);
  ASSERT_EQ(windows->windows.size(), 1u);
  EXPECT_TRUE(windows->windows[0]->closed);
}

TEST_P(SetStateSim, ResetFaultAndGetStateMembersTraceUnderTheirOwnLabels) {
  ConnectedRig c(Amplifier("PA4400", true, 2, true), device);
  c.amp.clsIAmpRemote_ResetFault();
  EXPECT_EQ(c.amp.clsIAmpRemote_GetState(), state::kOperate);
  EXPECT_THAT(
      c.rig.trace->Events(),
      ElementsAre("start:clsIAmpRemote_ResetFault", "start:ResetFault", "start:SendCmdString",
                  "end:SendCmdString", "end:ResetFault", "end:clsIAmpRemote_ResetFault",
                  "start:clsIAmpRemote_GetState", "start:GetState", "start:ReadCmdResponse",
                  "end:ReadCmdResponse", "start:ReadCmdResponse", "end:ReadCmdResponse",
                  "start:ReadCmdResponse", "end:ReadCmdResponse", "start:ReadCmdResponse",
                  "end:ReadCmdResponse", "end:GetState", "end:clsIAmpRemote_GetState"));
}

INSTANTIATE_TEST_SUITE_P(Routes, SetStateSim, ::testing::ValuesIn(kAllRoutes), RouteTestName);

}  // namespace
}  // namespace marlin::testing
