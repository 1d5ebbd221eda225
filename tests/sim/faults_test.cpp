// Fault injection and configuration checks, in process on a virtual clock.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/sim/sim_fixture.h"

namespace marlin::sim::testing {
namespace {

TEST(Faults, AnswerFaultsChangeOnlyWhatIsSent) {
  struct Case {
    const char* name;
    Faults faults;
    std::string expected;
  };
  Faults garbage, overlong, unterminated, silent;
  garbage.garbage = true;
  overlong.overlongBytes = 300;
  unterminated.noTerminator = true;
  silent.silent = true;
  const Case cases[] = {
      {"garbage", garbage, "\xfe\x01#?~\x7f!\x80\xc3(gArB@gE\n"},
      {"overlong", overlong, "1" + std::string(299, 'X') + "\n"},
      {"no terminator", unterminated, "1"},
      {"silent", silent, std::string(kNoAnswer)},
  };
  for (const auto& c : cases) {
    AmplifierConfig config = Powered();
    config.faults = c.faults;
    Bench bench(config);
    EXPECT_EQ(bench.Ask("SYST:POW:STAT?"), c.expected) << c.name;
    bench.Ask("RF:BAND:PATH 5");  // commands are still carried out
    bench.amp->SetFaults({});
    EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "5\n") << c.name;
  }
}

TEST(Faults, SilenceStillConsumesTheErrorEntry) {
  AmplifierConfig config;
  config.faults.errors = {{-300, "Device-specific error"}};
  Bench bench(config);
  Faults silent;
  silent.silent = true;
  bench.amp->SetFaults(silent);
  EXPECT_EQ(bench.Ask("SYST:ERR?"), kNoAnswer);
  bench.amp->SetFaults({});
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(Faults, ErrorEntriesAreQueuedInOrderAtStartAndAtRunTime) {
  AmplifierConfig config;
  config.faults.errors = {{-221, "Settings conflict"}, {100, "Device note"}};
  Bench bench(config);
  Faults more;
  more.errors = {{-300, "Late one"}};
  bench.amp->SetFaults(more);
  bench.amp->SetFaults(bench.amp->CurrentFaults());  // re-applying queues nothing twice
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-221,\"Settings conflict\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "100,\"Device note\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-300,\"Late one\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(Faults, ALatchedFaultReportsItselfUntilClsAndKeepsRfOff) {
  AmplifierConfig config = Operating(2);
  Bench bench(config);
  Faults fault;
  fault.fault = ErrorEntry{-300, "Device-specific error;overtemperature"};
  bench.amp->SetFaults(fault);
  EXPECT_EQ(bench.Ask("RF:OUTP:STAT?"), "0\n");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(bench.Ask("SYST:ERR?"), "-300,\"Device-specific error;overtemperature\"\n");
  bench.Ask("RF:OUTP:STAT ON");
  EXPECT_EQ(bench.Ask("SYST:ERR?"),
            "-221,\"Settings conflict;amplifier fault, clear with *CLS\"\n");
  bench.Ask("*CLS");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
  bench.Ask("RF:OUTP:STAT ON");
  EXPECT_EQ(bench.Ask("RF:OUTP:STAT?"), "1\n");
  EXPECT_FALSE(bench.amp->CurrentFaults().fault.has_value());
}

TEST(Faults, AStuckBandPathNeverArrives) {
  AmplifierConfig config = Powered();
  config.initial.bandPath = 1;
  config.timings.bandSwitch = 2500ms;
  config.faults.bandPathStuck = true;
  Bench bench(config);
  bench.Ask("RF:BAND:PATH 3");
  bench.Advance(std::chrono::hours(1));
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "1\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
  EXPECT_FALSE(bench.amp->Snapshot().changing);
}

TEST(Faults, DelayAndDropReachTheFrontsThroughRespond) {
  Bench bench(Powered());
  Faults late;
  late.answerDelay = 12s;
  bench.amp->SetFaults(late);
  Response response = bench.amp->Respond("SYST:POW:STAT?", "test");
  EXPECT_EQ(response.reply, "1\n");
  EXPECT_EQ(response.delay, 12s);
  Faults drop;
  drop.dropConnection = true;
  bench.amp->SetFaults(drop);
  response = bench.amp->Respond("RF:BAND:PATH 2", "test");
  EXPECT_TRUE(response.dropConnection);
  EXPECT_FALSE(response.reply);
  EXPECT_EQ(bench.amp->Snapshot().bandPath, 0);  // the line never reached the instrument
}

TEST(Config, RejectsWhatNoAmplifierCouldHaveNamingTheField) {
  struct Case {
    const char* field;
    void (*change)(AmplifierConfig&);
  };
  const Case cases[] = {
      {"model", [](AmplifierConfig& c) { c.model = "PA9999"; }},
      {"model", [](AmplifierConfig& c) { c.model = "pa4415"; }},
      {"serial", [](AmplifierConfig& c) { c.serial = "A,B"; }},
      {"serial", [](AmplifierConfig& c) { c.serial = ""; }},
      {"firmware", [](AmplifierConfig& c) { c.firmware = "V2.2"; }},
      {"firmware", [](AmplifierConfig& c) { c.firmware = "2..2"; }},
      {"band path", [](AmplifierConfig& c) { c.initial.bandPath = 11; }},
      {"band path", [](AmplifierConfig& c) { c.initial.bandPath = 2; }},  // power off
      {"RF output", [](AmplifierConfig& c) { c.initial.rfOn = true; }},
      {"lock owner", [](AmplifierConfig& c) { c.initial.lockOwner = "a\"b"; }},
      {"LAN timeout", [](AmplifierConfig& c) { c.initial.lanTimeout = "forever"; }},
      {"power-on time", [](AmplifierConfig& c) { c.timings.powerOn = -1ms; }},
      {"answer delay", [](AmplifierConfig& c) { c.faults.answerDelay = -1ms; }},
      {"over-long", [](AmplifierConfig& c) { c.faults.overlongBytes = kMaxOverlongBytes + 1; }},
      {"error entry",
       [](AmplifierConfig& c) {
         c.faults.errors = {{-1, "new\nline"}};
       }},
      {"error queue depth", [](AmplifierConfig& c) { c.errorQueueDepth = 0; }},
  };
  auto clock = std::make_shared<VirtualClock>();
  for (const auto& c : cases) {
    AmplifierConfig config;
    c.change(config);
    try {
      Amplifier amp(config, clock);
      ADD_FAILURE() << c.field << " accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << e.what();
    }
  }
}

TEST(Transcript, RecordsEveryLineWithItsClockTimeAsJsonLines) {
  Bench bench(Powered());
  bench.Ask("RF:BAND:PATH 2");
  bench.Advance(2000ms);
  bench.Ask("RF:BAND:PATH?");
  bench.amp->RecordSent("tcp:1#1", "\xfe\x01\xc3\xa4");  // garbage stays valid JSON

  std::vector<nlohmann::json> lines;
  std::istringstream in(bench.amp->TranscriptJsonLines());
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["dir"], "in");
  EXPECT_EQ(lines[0]["text"], "RF:BAND:PATH 2");
  EXPECT_EQ(lines[0]["t_ms"], 0.0);
  EXPECT_EQ(lines[1]["text"], "RF:BAND:PATH?");
  EXPECT_EQ(lines[1]["t_ms"], 2000.0);
  EXPECT_EQ(lines[2]["dir"], "out");
  EXPECT_EQ(lines[2]["text"], "2");
  EXPECT_EQ(lines[2]["peer"], "local");
  EXPECT_EQ(lines[3]["text"], "\uFFFD\u0001\u00E4");
  EXPECT_EQ(lines[3]["terminated"], false);
}

TEST(Transcript, KeepsOnlyItsCapacityButStreamsEverything) {
  AmplifierConfig config = Powered();
  config.transcriptCapacity = 2;
  Bench bench(config);
  int streamed = 0;
  bench.amp->SetTranscriptSink([&](const TranscriptEntry&) { ++streamed; });
  for (int i = 0; i < 5; ++i) bench.Ask("SYST:POW:STAT?");
  const auto kept = bench.amp->TranscriptEntries();
  EXPECT_EQ(streamed, 10);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].direction, Direction::Received);
  EXPECT_EQ(kept[1].direction, Direction::Sent);
}

}  // namespace
}  // namespace marlin::sim::testing
