// The amplifier session with its own host services, against the demo's simulator over loopback
// on each route, at a time scale that makes the driver's waits short.
#include "app/amplifier_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "app/demo_simulator.h"
#include "driver/records.h"

namespace marlin::cli {
namespace {

using ::testing::HasSubstr;

constexpr double kScale = 200;

class Session : public ::testing::TestWithParam<Route> {
 protected:
  SessionPlan Plan() {
    SessionPlan plan;
    plan.device = DemoSimulator::kDevice;
    plan.deviceList = simulator.DeviceListPath();
    plan.timeScale = kScale;
    plan.onWait = [this](const WaitActivity& activity) {
      waits.insert(activity.what);
      if (stopAt && activity.what == *stopAt) session->Stop();
    };
    return plan;
  }

  DemoSimulator simulator{"PA4520", GetParam(), {}, std::make_shared<RealClock>(kScale)};
  std::set<std::string> waits;
  std::optional<std::string> stopAt;
  AmplifierSession* session = nullptr;
};

TEST_P(Session, SwitchesReadsBackAndTellsItsWaits) {
  AmplifierSession amp(Plan());
  session = &amp;
  amp.Connect();
  EXPECT_TRUE(amp.Connected());
  const SessionIdentity identity = amp.Identify();
  EXPECT_EQ(identity.model, "PA4520");
  EXPECT_THAT(identity.identification, HasSubstr("PA4520"));

  amp.SetState({state::kOperate, SwitchParams{2, 0, 1}});
  EXPECT_EQ(amp.State(), state::kOperate);
  EXPECT_TRUE(waits.count("waiting for Operate to be confirmed"))
      << ::testing::PrintToString(waits);
  EXPECT_TRUE(amp.ReadErrors({}).entries.empty());

  amp.SetState({state::kOff, std::nullopt});
  EXPECT_EQ(amp.State(), state::kOff);
  amp.Disconnect();
  EXPECT_FALSE(amp.Connected());
}

TEST_P(Session, StopEndsALongCallAtItsNextWaitAndTheNextCallRunsAgain) {
  AmplifierSession amp(Plan());
  session = &amp;
  amp.Connect();
  stopAt = "waiting for Operate to be confirmed";
  try {
    amp.SetState({state::kOperate, SwitchParams{2, 0, 1}});
    ADD_FAILURE() << "the switch was not stopped";
  } catch (const MarlinError& e) {
    EXPECT_EQ(e.Number(), kStoppedError) << e.Description();
  }
  stopAt.reset();
  amp.SetState({state::kOperate, SwitchParams{2, 0, 1}});
  EXPECT_EQ(amp.State(), state::kOperate);
}

INSTANTIATE_TEST_SUITE_P(Routes, Session, ::testing::Values(Route::Lan, Route::Visa, Route::Gpib),
                         [](const auto& info) { return RouteWord(info.param); });

TEST(SessionErrors, AnEntryGivesItsNumberAndWholeTextUpToTheLimit) {
  // On VISA the connection check leaves the queue as it is.
  DemoSimulator simulator("PA4415", Route::Visa,
                          {"error=-221:Settings conflict", "error=-222:Data"},
                          std::make_shared<RealClock>(kScale));
  SessionPlan plan;
  plan.device = DemoSimulator::kDevice;
  plan.deviceList = simulator.DeviceListPath();
  plan.timeScale = kScale;
  AmplifierSession amp(plan);
  amp.Connect();
  std::vector<std::string> told;
  ErrorReading reading;
  reading.most = 1;
  reading.each = [&](const QueuedError& entry) { told.push_back(entry.text); };
  const ErrorQueue queue = amp.ReadErrors(reading);
  ASSERT_EQ(queue.entries.size(), 1U);
  EXPECT_EQ(queue.entries[0].number, -221);
  EXPECT_THAT(queue.entries[0].text, HasSubstr("Settings conflict"));
  EXPECT_TRUE(queue.more);
  EXPECT_EQ(told, std::vector<std::string>{queue.entries[0].text});
}

}  // namespace
}  // namespace marlin::cli
