// marlin-sim's command line: what it builds, and that every wrong value is named.
#include <gtest/gtest.h>

#include "sim/options.h"

namespace marlin::sim::testing {
namespace {

TEST(Options, DefaultsAreOnePa4400OnPort5025WithoutGateway) {
  const SimOptions options = ParseOptions({});
  ASSERT_EQ(options.amplifiers.size(), 1u);
  EXPECT_EQ(options.amplifiers[0].config.model, "PA4400");
  EXPECT_EQ(options.amplifiers[0].port, 5025);
  EXPECT_EQ(options.bindAddress, "127.0.0.1");
  EXPECT_FALSE(options.gatewayPort);
  EXPECT_EQ(options.timeScale, 1.0);
}

TEST(Options, BuildsAmplifiersTimingsFaultsAndGateway) {
  const SimOptions options = ParseOptions({"--model",
                                           "PA4413",
                                           "--firmware",
                                           "3.3",
                                           "--serial",
                                           "S7",
                                           "--port",
                                           "0",
                                           "--gateway",
                                           "--gpib-address",
                                           "4",
                                           "--amp",
                                           "model=PA4520,gpib=12",
                                           "--amp",
                                           "port=6000",
                                           "--power",
                                           "on",
                                           "--band",
                                           "2",
                                           "--band-switch-ms",
                                           "1500",
                                           "--time-scale",
                                           "10",
                                           "--fault",
                                           "late=12000",
                                           "--fault",
                                           "error=-221:Settings conflict",
                                           "--fault",
                                           "lock=LOC",
                                           "--transcript",
                                           "/tmp/t.jsonl",
                                           "--idle-timeout",
                                           "90"});
  ASSERT_EQ(options.amplifiers.size(), 3u);
  const auto& first = options.amplifiers[0];
  EXPECT_EQ(first.config.model, "PA4413");
  EXPECT_EQ(first.config.firmware, "3.3");
  EXPECT_EQ(first.gpibAddress, 4);
  EXPECT_EQ(first.config.timings.bandSwitch, std::chrono::milliseconds(1500));
  EXPECT_EQ(first.config.faults.answerDelay, std::chrono::seconds(12));
  ASSERT_EQ(first.config.faults.errors.size(), 1u);
  EXPECT_EQ(first.config.faults.errors[0], (ErrorEntry{-221, "Settings conflict"}));
  EXPECT_EQ(first.config.initial.lockOwner, "LOC");
  EXPECT_EQ(options.amplifiers[1].config.model, "PA4520");
  EXPECT_EQ(options.amplifiers[1].config.serial, "S7-1");
  EXPECT_EQ(options.amplifiers[1].gpibAddress, 12);
  EXPECT_EQ(options.amplifiers[1].port, 0);
  EXPECT_EQ(options.amplifiers[2].port, 6000);
  EXPECT_EQ(options.amplifiers[2].gpibAddress, 6);
  EXPECT_EQ(options.gatewayPort, 1234);
  EXPECT_EQ(options.timeScale, 10.0);
  EXPECT_EQ(options.transcriptPath, "/tmp/t.jsonl");
  EXPECT_EQ(options.idleTimeout, std::chrono::seconds(90));
  EXPECT_EQ(ParseOptions({}).idleTimeout, std::chrono::minutes(5));
}

TEST(Options, EveryWrongValueIsNamedInTheError) {
  struct Case {
    std::vector<std::string> args;
    const char* named;
  };
  const Case cases[] = {
      {{"--model", "PA9999"}, "model \"PA9999\""},
      {{"--port", "70000"}, "--port \"70000\""},
      {{"--port", "50x"}, "--port \"50x\""},
      {{"--port"}, "--port \"\": needs a value"},
      {{"--bind", "localhost"}, "bind address \"localhost\""},
      {{"--time-scale", "0"}, "--time-scale \"0\""},
      {{"--time-scale", "fast"}, "--time-scale \"fast\""},
      {{"--time-scale", "1e-308"}, "--time-scale \"1e-308\": expected a number from 0.001"},
      {{"--idle-timeout", "0"}, "--idle-timeout \"0\""},
      {{"--idle-timeout", "90000"}, "--idle-timeout \"90000\""},
      {{"--band", "11"}, "--band \"11\""},
      {{"--band", "2"}, "band path \"2\": needs mains power on"},
      {{"--power", "yes"}, "--power \"yes\""},
      {{"--rf-on-ms", "-5"}, "--rf-on-ms \"-5\""},
      {{"--fault", "sometimes"}, "--fault \"sometimes\": unknown fault"},
      {{"--fault", "silent=1"}, "--fault \"silent=1\": takes no value"},
      {{"--fault", "late"}, "--fault \"late\": needs a value"},
      {{"--fault", "error=-221"}, "--fault error \"-221\": expected CODE:TEXT"},
      {{"--fault", "error=x:text"}, "--fault error \"x:text\""},
      {{"--fault", "overlong=0"}, "--fault overlong \"0\""},
      {{"--amp", "colour=red"}, "--amp \"colour=red\": unknown key"},
      {{"--amp", "gpib=31"}, "--amp gpib \"31\""},
      {{"--gateway", "--amp", "gpib=1"}, "two amplifiers at one GPIB address"},
      {{"--amp", "port=5025"}, "two amplifiers on one port"},
      {{"--gateway-port", "5025"}, "--gateway-port \"5025\""},
      {{"--lan-timeout", "1W"}, "LAN timeout \"1W\""},
      {{"--transcript", ""}, "--transcript \"\": needs a file name"},
      {{"--verbose"}, "--verbose \"\": unknown option"},
      {{"--model=PA4400"}, "--model=PA4400 \"\": unknown option"},
  };
  for (const auto& c : cases) {
    try {
      ParseOptions(c.args);
      ADD_FAILURE() << c.args[0] << " accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace marlin::sim::testing
