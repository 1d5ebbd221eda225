// The amplifier's SCPI dialect and error queue, asked in process on a virtual clock.
#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace marlin::sim::testing {
namespace {

TEST(Identification, NamesMakerModelSerialAndFirmware) {
  for (const char* model : kModels) {
    AmplifierConfig config;
    config.model = model;
    config.serial = "A1";
    config.firmware = "3.3";
    Bench bench(config);
    EXPECT_EQ(bench.Ask("*IDN?"), std::string("Quellmarkfabrik,") + model + ",A1,SW:3.3\n");
  }
}

struct FormCase {
  const char* line;
  const char* answer;
};

TEST(HeaderForms, ShortLongAndLetterCaseAsScpiAllows) {
  const FormCase cases[] = {
      {"*idn?", "Quellmarkfabrik,PA4400,100001,SW:2.20\n"},
      {":SYST:ERR?", "0,\"No error\"\n"},
      {"system:error:next?", "0,\"No error\"\n"},
      {"SYSTem:POWer:STATe?", "1\n"},
      {"syst:pow?", "1\n"},
      {"rf:outp?", "0\n"},
      {"RF:OUTPUT:STATE?", "0\n"},
      {"Rf:Band:Path?", "0\n"},
      {"SYSTEM:LOCK:OWNER?", "NONE\n"},
      {"syst:scpi:timeout?", "24H\n"},
      {"CONTROL1:AMODULATION:FGA?", "0\n"},
      {"cont:amod:fga?", "0\n"},
      {"  RF:BAND:PATH?  ", "0\n"},
      {"*IDN?;SYST:POW:STAT?", "Quellmarkfabrik,PA4400,100001,SW:2.20;1\n"},
  };
  for (const auto& c : cases) {
    Bench bench(Powered());
    EXPECT_EQ(bench.Ask(c.line), c.answer) << c.line;
    EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n") << c.line;
  }
}

struct ErrorCase {
  const char* line;
  int code;
};

// Each wrong line answers nothing and leaves exactly one entry with the SCPI code.
TEST(ErrorQueue, EveryWrongLineQueuesItsCode) {
  const ErrorCase cases[] = {
      {"FOO?", -113},
      {"SYSTE:ERR?", -113},  // neither the short nor the long form
      {"SYST:POWE?", -113},
      {"*CLS?", -113},  // a command has no query form
      {"SYST:LOCK:OWN NONE", -113},
      {"RF2:BAND:PATH?", -113},
      {"RF1:OPER:CLA 1", -113},  // only PA4413 firmware 3.3 knows it
      {"SYST::ERR?", -102},
      {"RF:BAND:PATH", -109},
      {"RF:BAND:PATH? 2", -108},
      {"*CLS 1", -108},
      {"RF:BAND:PATH two", -104},
      {"RF:BAND:PATH 1.5", -104},
      {"RF:BAND:PATH 11", -222},
      {"RF:BAND:PATH -1", -222},
      {"SYST:POW:STAT MAYBE", -224},
      {"SYST:SCPI:TIME 1W", -224},
      {"SYST:SCPI:TIME 1234D", -224},
      {"CONT0:AMOD:FGA 0", -114},
      {"CONT11:AMOD:FGA?", -114},
      {"CONT2:AMOD:FGA 7", -224},
  };
  for (const auto& c : cases) {
    Bench bench(Powered());
    EXPECT_EQ(bench.Ask(c.line), kNoAnswer) << c.line;
    const std::string entry = bench.Ask("SYST:ERR?");
    EXPECT_EQ(entry.rfind(std::to_string(c.code) + ",\"", 0), 0u) << c.line << " -> " << entry;
    EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n") << c.line;
  }
}

TEST(ErrorQueue, AnswersOldestFirstAndClearsWithCls) {
  Bench bench;  // power off
  bench.Ask("FOO");
  bench.Ask("RF:OUTP:STAT ON");
  bench.Ask("RF:BAND:PATH 12");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-113,\"Undefined header;FOO\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-221,\"Settings conflict;mains power is off\"\n");
  bench.Ask("BAR");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-222,\"Data out of range;12\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-113,\"Undefined header;BAR\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");

  bench.Ask("FOO");
  bench.Ask("*CLS");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(ErrorQueue, OverflowReplacesTheNewestEntry) {
  AmplifierConfig config;
  config.errorQueueDepth = 3;
  Bench bench(config);
  for (const char* line : {"A1", "A2", "A3", "A4", "A5"}) bench.Ask(line);
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-113,\"Undefined header;A1\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-113,\"Undefined header;A2\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-350,\"Queue overflow\"\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(ErrorQueue, AWrongHeaderStopsTheRestOfTheLine) {
  Bench bench(Powered());
  EXPECT_EQ(bench.Ask("SYST:POW:STAT?;FOO;RF:BAND:PATH 2"), "1\n");
  EXPECT_EQ(bench.amp->Snapshot().bandPath, 0);
}

// `query` answers `before` until `span` has passed from now and `after` from then on.
void ExpectChangeAfter(Bench& bench, std::string_view query, Clock::Duration span,
                       const std::string& before, const std::string& after) {
  bench.Advance(span - 1ms);
  EXPECT_EQ(bench.Ask(query), before) << query;
  bench.Advance(1ms);
  EXPECT_EQ(bench.Ask(query), after) << query;
}

TEST(SlowChanges, QueriesAnswerTheOldValueUntilTheChangeEnds) {
  AmplifierConfig config;
  config.timings = Timings{5000ms, 1000ms, 2500ms, 1000ms, 500ms};
  Bench bench(config);

  bench.Ask("SYST:POW:STAT ON");
  ExpectChangeAfter(bench, "SYST:POW:STAT?", 5000ms, "0\n", "1\n");

  bench.Ask("RF:BAND:PATH 2");
  bench.Advance(2000ms);
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "0\n");
  bench.Ask("RF:OUTP:STAT ON");  // refused: the path has not arrived
  bench.Advance(500ms);
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "2\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-221,\"Settings conflict;band path is switching\"\n");

  bench.Ask("RF:OUTP:STAT ON");
  ExpectChangeAfter(bench, "RF:OUTP:STAT?", 1000ms, "0\n", "1\n");

  bench.Ask("RF:OUTP:STAT OFF");
  ExpectChangeAfter(bench, "RF:OUTP:STAT?", 500ms, "1\n", "0\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(SlowChanges, ALineTakesEffectAtTheTimeItArrived) {
  AmplifierConfig config = Operating(2);
  config.timings.rfOff = 500ms;
  Bench bench(config);
  // A test rig lets its clock move on as soon as a line is recorded, while the simulator may still
  // be carrying it out; the change must count from the arrival all the same.
  bench.amp->SetTranscriptSink([&](const TranscriptEntry& entry) {
    if (entry.direction == Direction::Received && entry.text == "RF:OUTP:STAT OFF") {
      bench.Advance(400ms);
    }
  });
  bench.Ask("RF:OUTP:STAT OFF");
  ExpectChangeAfter(bench, "RF:OUTP:STAT?", 100ms, "1\n", "0\n");
}

TEST(SlowChanges, PowerOffStopsRfAtOnceAndClearsThePathWhenDone) {
  AmplifierConfig config = Operating(3);
  config.timings.powerOff = 1000ms;
  Bench bench(config);
  bench.Ask("SYST:POW:STAT OFF");
  EXPECT_EQ(bench.Ask("RF:OUTP:STAT?"), "0\n");
  EXPECT_EQ(bench.Ask("SYST:POW:STAT?"), "1\n");
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "3\n");
  bench.Advance(1000ms);
  EXPECT_EQ(bench.Ask("SYST:POW:STAT?;RF:BAND:PATH?"), "0;0\n");
}

TEST(SlowChanges, BandSwitchMutesRfAndDeselectingWorks) {
  AmplifierConfig config = Operating(1);
  Bench bench(config);
  bench.Ask("RF:BAND:PATH 4");
  EXPECT_EQ(bench.Ask("RF:OUTP:STAT?;RF:BAND:PATH?"), "0;4\n");
  bench.Ask("RF:BAND:PATH 0");
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "0\n");
  bench.Ask("RF:OUTP:STAT ON");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-221,\"Settings conflict;no band path selected\"\n");
}

TEST(LanTimeout, ANewValueBecomesActiveAtTheNextPowerOn) {
  Bench bench(Powered());
  bench.Ask("SYST:SCPI:TIME 1d");
  EXPECT_EQ(bench.Ask("SYST:SCPI:TIME?"), "24H\n");
  bench.Ask("SYST:POW:STAT OFF");
  EXPECT_EQ(bench.Ask("SYST:SCPI:TIME?"), "24H\n");
  bench.Ask("SYST:POW:STAT ON");
  EXPECT_EQ(bench.Ask("SYST:SCPI:TIME?"), "1D\n");
  EXPECT_EQ(bench.amp->Snapshot().lanTimeoutPending, "");
}

TEST(RemoteLock, AnotherOwnerBlocksSettingsButNotQueriesOrCls) {
  AmplifierConfig config = Powered();
  config.initial.lockOwner = "LOC";
  Bench bench(config);
  EXPECT_EQ(bench.Ask("SYST:LOCK:OWN?"), "LOC\n");
  bench.Ask("RF:BAND:PATH 2");
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "0\n");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "-221,\"Settings conflict;remote lock held by LOC\"\n");
  bench.Ask("FOO");
  bench.Ask("*CLS");
  EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");

  bench.amp->SetLockOwner("NONE");
  bench.Ask("RF:BAND:PATH 2");
  EXPECT_EQ(bench.Ask("RF:BAND:PATH?"), "2\n");
}

TEST(BandSettings, ClassAndModeOnlyOnPa4413FromFirmware33) {
  struct Case {
    const char* model;
    const char* firmware;
    bool known;
  };
  const Case cases[] = {{"PA4413", "3.3", true},  {"PA4413", "3.10", false},
                        {"PA4413", "3.2", false}, {"PA4413", "4.0", true},
                        {"PA4415", "3.3", false}, {"PA4400", "9.9", false}};
  for (const auto& c : cases) {
    AmplifierConfig config = Powered(c.model);
    config.firmware = c.firmware;
    Bench bench(config);
    bench.Ask("RF2:OPER:CLA 1");
    bench.Ask("RF2:OUTP:MOD 0");
    if (c.known) {
      EXPECT_EQ(bench.Ask("RF2:OPERATION:CLASS?;RF2:OUTP:MODE?"), "1;0\n") << c.firmware;
      EXPECT_EQ(bench.Ask("SYST:ERR?"), "0,\"No error\"\n");
      bench.Ask("RF2:OPER:CLA 4");
      EXPECT_EQ(bench.Ask("SYST:ERR?").substr(0, 5), "-222,");
    } else {
      EXPECT_EQ(bench.Ask("SYST:ERR?").substr(0, 5), "-113,") << c.model << " " << c.firmware;
      EXPECT_EQ(bench.Ask("SYST:ERR?").substr(0, 5), "-113,") << c.model << " " << c.firmware;
    }
  }
}

TEST(BandSettings, ModulationControlIsKeptPerBand) {
  Bench bench(Powered());
  bench.Ask("CONT3:AMOD:FGA 1");
  bench.Ask("CONT4:AMOD:FGA ON");
  bench.Ask("CONT4:AMOD:FGA 0");
  EXPECT_EQ(bench.Ask("CONT3:AMOD:FGA?;CONT4:AMOD:FGA?;CONT5:AMOD:FGA?"), "1;0;0\n");
}

}  // namespace
}  // namespace marlin::sim::testing
