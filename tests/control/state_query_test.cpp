#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/scripted_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;

struct Row {
  const char* what;
  bool recognised;
  std::string error, power, band, output;
  std::int32_t expected;
};

class DecisionTable : public ScriptedFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(DecisionTable, ReducesTheAnswersToOneState) {
  const Row& row = GetParam();
  if (row.recognised) Recognise();
  instrument->Answer("SYST:ERR?", {row.error});
  instrument->Answer("SYST:POW:STAT?", {row.power});
  instrument->Answer("RF:BAND:PATH?", {row.band});
  instrument->Answer("RF:OUTP:STAT?", {row.output});
  EXPECT_EQ(access.GetState(), row.expected) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    StateQuery, DecisionTable,
    ::testing::Values(
        Row{"fault, default model", false, "-113,\"Undefined header\"", "1", "2", "1", 4},
        Row{"fault, recognised", true, "-300,\"Device error\"", "1", "2", "1", 4},
        Row{"power off", false, "0,\"No error\"", "0", "2", "1", 0},
        Row{"no band, default model", false, "0,\"No error\"", "1", "0", "0", 1},
        Row{"no band, recognised", true, "0,\"No error\"", "", "0", "0", 0},
        Row{"operate, default model", false, "0,\"No error\"", "1", "2", "1", 3},
        Row{"operate, recognised", true, "0,\"No error\"", "", "2", "1", 3},
        Row{"standby, default model", false, "0,\"No error\"", "1", "2", "0", 2},
        Row{"band on but RF off, recognised", true, "0,\"No error\"", "", "1", "0", 0},
        Row{"band 10 is a band path", false, "0,\"No error\"", "1", "10", "1", 3},
        Row{"band 20 is a band path, recognised", true, "0,\"No error\"", "", "20", "1", 3},
        Row{"NONE is no band path", false, "0,\"No error\"", "1", "NONE", "1", 1},
        Row{"an empty band answer is none", false, "0,\"No error\"", "1", "\r\n", "1", 1},
        Row{"a band answer that is no number: a 0 anywhere", false, "0,\"No error\"", "1", "B0",
            "1", 1},
        Row{"a band answer that is no number: no 0", false, "0,\"No error\"", "1", "-1", "1", 3},
        Row{"power 10 contains a 1", false, "0,\"No error\"", "10", "3", "1", 3},
        Row{"positive error numbers are no fault", false, "100,\"Device specific\"", "1", "2", "1",
            3}));

class StateQueryTest : public ScriptedFixture {};

TEST_F(StateQueryTest, ClearsOnceAfterSettingsConflictThenDecides) {
  instrument->Answer("SYST:ERR?", {"-221,\"Settings conflict\"", "0,\"No error\""});
  instrument->Answer("SYST:POW:STAT?", {"1"});
  instrument->Answer("RF:BAND:PATH?", {"2"});
  instrument->Answer("RF:OUTP:STAT?", {"0"});
  std::string error = "stale";
  EXPECT_EQ(access.GetState(error), 2);
  EXPECT_EQ(error, "");
  EXPECT_THAT(instrument->Lines(), ElementsAre("SYST:ERR?", "*CLS", "SYST:ERR?", "SYST:POW:STAT?",
                                               "RF:BAND:PATH?", "RF:OUTP:STAT?"));
}

TEST_F(StateQueryTest, SettingsConflictTwiceIsAFaultWithTheSecondAnswer) {
  instrument->Answer("SYST:ERR?", {"-221,\"first\"", "-221,\"second\""});
  std::string error;
  EXPECT_EQ(access.GetState(error), 4);
  EXPECT_EQ(error, "-221,\"second\"");
  EXPECT_THAT(instrument->Lines(), ElementsAre("SYST:ERR?", "*CLS", "SYST:ERR?"));
}

TEST_F(StateQueryTest, RecognisedModelsAreNeverAskedForPower) {
  Recognise();
  instrument->Answer("SYST:ERR?", {"0,\"No error\""});
  instrument->Answer("RF:BAND:PATH?", {"1"});
  instrument->Answer("RF:OUTP:STAT?", {"1"});
  EXPECT_EQ(access.GetState(), 3);
  EXPECT_THAT(instrument->Lines(), ElementsAre("SYST:ERR?", "RF:BAND:PATH?", "RF:OUTP:STAT?"));
}

TEST_F(StateQueryTest, PowerOffAsksNothingMore) {
  instrument->Answer("SYST:ERR?", {"0,\"No error\""});
  instrument->Answer("SYST:POW:STAT?", {"0"});
  EXPECT_EQ(access.GetState(), 0);
  EXPECT_THAT(instrument->Lines(), ElementsAre("SYST:ERR?", "SYST:POW:STAT?"));
}

TEST_F(StateQueryTest, NotConnectedReadsOffWithoutTraffic) {
  access.Status() = 0;
  std::string error = "stale";
  EXPECT_EQ(access.GetState(error), 0);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(instrument->sent.empty());
}

TEST_F(StateQueryTest, DeadLinkOnARecognisedModelReadsOffNotOperate) {
  Recognise();
  instrument->failEveryExchange = true;
  std::string error;
  EXPECT_EQ(access.GetState(error), 0);
  EXPECT_EQ(error, "");
}

TEST_F(StateQueryTest, DeadLinkOnTheDefaultModelReadsOff) {
  instrument->failEveryExchange = true;
  EXPECT_EQ(access.GetState(), 0);
}

TEST_F(StateQueryTest, TracesItsLinesAndReportsNothingOfItsOwn) {
  instrument->failEveryExchange = true;
  access.GetState();
  auto events = trace->Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front(), "start:GetState");
  EXPECT_EQ(events.back(), "end:GetState");
  // Only the transport's handler reports the failed exchanges.
  for (const auto& report : trace->reports) {
    EXPECT_EQ(report.description, "scripted failure");
  }
}

TEST(StateName, NamesTheFiveStatesAndNothingElse) {
  const std::pair<std::int32_t, const char*> names[] = {
      {0, "Off"}, {1, "On"}, {2, "Standby"}, {3, "Operate"}, {4, "Fault"}, {5, ""}, {-1, ""}};
  for (const auto& [code, name] : names) EXPECT_EQ(clsMarlin::StateName(code), name) << code;
}

}  // namespace
}  // namespace marlin::testing
