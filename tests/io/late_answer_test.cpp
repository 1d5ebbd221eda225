// Answers that come after their query gave up, and peers that hang up mid-query, against the
// simulator over loopback.
#include <gtest/gtest.h>

#include "host/thread_host.h"
#include "io/visa_status.h"
#include "tests/io/simulator_fixture.h"
#include "tests/support/forwarding_visa.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;
using testing::Route;

// Records the status of every read of the layer it wraps.
class ReadStatusRecorder : public testing::ForwardingVisa {
 public:
  using ForwardingVisa::ForwardingVisa;
  std::vector<ViStatus> readStatuses;

  ViStatus viRead(ViSession vi, std::string& b, std::uint32_t c, std::uint32_t& r) override {
    readStatuses.push_back(ForwardingVisa::viRead(vi, b, c, r));
    return readStatuses.back();
  }
};

class LateAnswers : public testing::SimulatorFixture,
                    public ::testing::WithParamInterface<Route> {};

// Each round: the identification answer is held back past the query's timeout, then let go;
// the next query must get its own answer, never the late one.
TEST_P(LateAnswers, NeverAnswerTheNextQuery) {
  ConnectToSimulator(GetParam());
  SetVisaTimeout(300);
  const std::string id = instrument->Identification();
  constexpr std::size_t kRounds = 5;
  std::size_t stale = 0;
  for (std::size_t round = 1; round <= kRounds; ++round) {
    SetFaults([](sim::Faults& f) { f.answerDelay = 5s; });
    if (GetParam() == Route::Lan) {
      EXPECT_THROW(access.ReadCmdResponse("*IDN?\r\n", 200), MarlinError);
    } else {
      EXPECT_EQ(access.ReadCmdResponse("*IDN?\r\n", 200), std::string(256, '\0'));
    }
    SetFaults([](sim::Faults&) {});
    clock->Advance(5s);
    ASSERT_TRUE(AwaitSent(id, round)) << "the late answer never left the simulator";

    const std::string answer = access.ReadCmdResponse("SYST:ERR?\r\n", 200);
    if (answer.find("Quellmarkfabrik") != std::string::npos) ++stale;
    EXPECT_EQ(answer.rfind("0,", 0), 0u) << "round " << round << ": " << answer;
  }
  EXPECT_EQ(stale, 0u);
}

INSTANTIATE_TEST_SUITE_P(LanAndVisa, LateAnswers, ::testing::Values(Route::Lan, Route::Visa),
                         [](const auto& info) { return testing::RouteName(info.param); });

class HangUps : public testing::SimulatorFixture, public ::testing::WithParamInterface<Route> {};

// The simulator closes the connection when the query arrives. Every wait below is long (60 s),
// so only a hang-up seen at once gives the failure checked for.
TEST_P(HangUps, EndTheQueryAtOnce) {
  auto recorder = std::make_shared<ReadStatusRecorder>(visa);
  host::Replace(recorder);
  auto patient = std::make_shared<TcpLanSockets>(clock, TcpLanOptions{1s, 60s});
  Install(std::make_unique<StandaloneDevList>(nullptr, patient));
  lan = patient;
  ConnectToSimulator(GetParam());
  SetVisaTimeout(60000);
  SetFaults([](sim::Faults& f) { f.dropConnection = true; });

  switch (GetParam()) {
    case Route::Lan:
      try {
        access.ReadCmdResponse("*IDN?\r\n", 200);
        ADD_FAILURE() << "answered after a hang-up";
      } catch (const MarlinError& e) {
        EXPECT_EQ(e.Number(), errors::kTransport);
        EXPECT_NE(e.Description().find("LAN query data failed!"), std::string::npos);
      }
      EXPECT_NE(lan->LastError().find("closed the connection before answering"), std::string::npos)
          << lan->LastError();
      try {
        access.SendCmdString("*CLS\r\n");
        ADD_FAILURE() << "sent after a hang-up";
      } catch (const MarlinError& e) {
        EXPECT_NE(e.Description().find("No LAN connection available!"), std::string::npos);
      }
      break;
    case Route::Visa:
      EXPECT_EQ(access.ReadCmdResponse("*IDN?\r\n", 200), std::string(256, '\0'));
      EXPECT_EQ(recorder->readStatuses, std::vector<ViStatus>{visa_status::kErrorConnectionLost});
      break;
    case Route::Gpib:
      try {
        access.ReadCmdResponse("*IDN?\r\n", 200);
        ADD_FAILURE() << "answered after a hang-up";
      } catch (const MarlinError& e) {
        EXPECT_EQ(e.Number(), errors::kGpibGiveUp);
        EXPECT_NE(e.Description().find("the gateway closed the connection"), std::string::npos)
            << e.Description();
      }
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(AllRoutes, HangUps,
                         ::testing::Values(Route::Lan, Route::Visa, Route::Gpib),
                         [](const auto& info) { return testing::RouteName(info.param); });

}  // namespace
}  // namespace marlin
