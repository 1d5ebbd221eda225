// Amplifiers whose answers come after the query gave up, on every route, in real time (a clock
// running faster than real time): a late answer must never be taken for a later query's.
#include <gtest/gtest.h>

#include <array>

#include "driver/text_numbers.h"
#include "io/scpi.h"
#include "tests/support/connected_rig.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;

constexpr double kTimeScale = 50;  // 300 ms last 6 ms of real time
constexpr RigOptions kLateRig{300ms, kTimeScale};
constexpr Clock::Duration kLateness = 700ms;  // past the timeout, and past VISA's 200 ms pause

// Queries whose answers cannot be mistaken for one another on an amplifier on band 2 in Operate.
struct Query {
  const char* text;
  bool (*isItsAnswer)(const std::string&);
};
const std::array<Query, 4> kQueries = {{
    {"*IDN?", [](const std::string& a) { return a.find("PA4415") != std::string::npos; }},
    // On GPIB an unread answer is discarded by the next query, and the queue records that.
    {"SYST:ERR?",
     [](const std::string& a) {
       return (a.rfind("0,", 0) == 0 || a.rfind("-", 0) == 0) && a.find(",\"") != std::string::npos;
     }},
    {"RF:BAND:PATH?", [](const std::string& a) { return a == "2"; }},
    {"SYST:LOCK:OWN?", [](const std::string& a) { return a == "NONE"; }},
}};

class LateAnswers : public ::testing::TestWithParam<const char*> {};

TEST_P(LateAnswers, EveryAnswerLateGivesNoStaleAnswerIn200Queries) {
  ConnectedRig c(Amplifier("PA4415", true, 2, true), GetParam(), kLateRig);
  sim::Faults late;
  late.answerDelay = kLateness;
  c.rig.amp->SetFaults(late);

  std::size_t stale = 0, timedOut = 0;
  for (std::size_t i = 0; i < 200; ++i) {
    const Query& q = kQueries[i % kQueries.size()];
    std::string answer;
    try {
      answer = std::string(AnswerText(c.access.ReadCmdResponse(scpi::Line(q.text), 200)));
    } catch (const MarlinError&) {
      // The route's timeout error (LAN, GPIB).
    }
    if (answer.empty()) {
      ++timedOut;
    } else if (!q.isItsAnswer(answer)) {
      ++stale;
      ADD_FAILURE() << "query " << i << " " << q.text << " got \"" << answer << "\"";
    }
  }
  EXPECT_EQ(stale, 0u);
  // Answers come 700 ms after a 300 ms timeout, so queries give up; on a loaded machine a slow
  // VISA pause lets some see their own answer, but without time-outs nothing was tested.
  EXPECT_GE(timedOut, 20u);

  // Once the amplifier answers in time again, each query gets its own answer.
  c.rig.amp->SetFaults({});
  for (const Query& q : kQueries) {
    std::string answer;
    for (int attempt = 0; attempt < 10 && answer.empty(); ++attempt) {
      try {
        answer = std::string(AnswerText(c.access.ReadCmdResponse(scpi::Line(q.text), 200)));
      } catch (const MarlinError&) {
      }
    }
    EXPECT_TRUE(q.isItsAnswer(answer))
        << q.text << " got \"" << answer << "\" " << c.rig.lan->LastError() << " / "
        << (c.rig.trace->reports.empty() ? std::string() : c.rig.trace->reports.back().description);
  }
}

// Only the error queue answers late: without protection its "0,..." answer would be read as the
// band path's, and a band answer holding "0" reads as Off.
TEST_P(LateAnswers, ALateAmplifierInOperateNeverReadsAsOff) {
  // 300 ms last 60 ms of real time: time enough for the answers that come at once.
  ConnectedRig c(Amplifier("PA4415", true, 2, true), GetParam(), RigOptions{300ms, 5});
  sim::Faults late;
  late.answerDelay = kLateness;
  late.delayOnly = "SYST:ERR?";
  c.rig.amp->SetFaults(late);
  for (int round = 0; round < 10; ++round) {
    EXPECT_EQ(c.access.GetState(), state::kOperate) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, LateAnswers, ::testing::ValuesIn(kAllRoutes), RouteTestName);

}  // namespace
}  // namespace marlin::testing
