#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/cli_options.h"
#include "app/exit_codes.h"

namespace marlin::cli {
namespace {

using ::testing::HasSubstr;

CliOptions Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CommandLine, ReadsEachCommandsArgumentsAndOptions) {
  const CliOptions set = Parse({"set", "AMP1", "operate", "--band=3", "--mode", "1", "--class", "2",
                                "--devices", "lab.toml", "--time-scale", "2.5"});
  EXPECT_EQ(set.command, CliCommand::Set);
  EXPECT_EQ(set.device, "AMP1");
  EXPECT_EQ(set.targetState, 3);
  EXPECT_EQ(set.band, 3);
  EXPECT_EQ(set.mode, 1);
  EXPECT_EQ(set.operatingClass, 2);
  EXPECT_EQ(set.host.devices, "lab.toml");
  EXPECT_EQ(set.host.timeScale, 2.5);

  const CliOptions demo = Parse({"demo", "--model", "PA4520", "--route", "gpib", "--band", "4"});
  EXPECT_EQ(demo.model, "PA4520");
  EXPECT_EQ(demo.route, Route::Gpib);
  EXPECT_EQ(demo.demoBand, 4);
  EXPECT_FALSE(demo.host.timeScale);

  const CliOptions shell = Parse({"shell", "--wait-window", "on", "--trace", "t.jsonl"});
  EXPECT_EQ(shell.host.waitWindow, true);
  EXPECT_EQ(shell.host.trace, "t.jsonl");

  const CliOptions report = Parse({"trace-report", "t.jsonl", "-o", "r.html"});
  EXPECT_EQ(report.command, CliCommand::TraceReport);
  EXPECT_EQ(report.traceInput, "t.jsonl");
  EXPECT_EQ(report.reportOutput, "r.html");
  EXPECT_EQ(Parse({"trace-report", "--output=x.html", "t.jsonl"}).reportOutput, "x.html");

  EXPECT_TRUE(Parse({"state", "--help"}).help);
  EXPECT_EQ(Parse({"help", "set"}).helpTopic, "set");
  EXPECT_EQ(Parse({"errors", "AMP1", "--max", "1000"}).maxErrors, 1000);

  const CliOptions panel =
      Parse({"panel", "--port", "8470", "--bind", "::1", "--poll", "2.5", "--devices", "lab.toml"});
  EXPECT_EQ(panel.command, CliCommand::Panel);
  EXPECT_EQ(panel.port, 8470);
  EXPECT_EQ(panel.bind, "::1");
  EXPECT_EQ(panel.pollSeconds, 2.5);
  EXPECT_EQ(panel.host.devices, "lab.toml");
  const CliOptions quiet = Parse({"panel"});
  EXPECT_EQ(quiet.port, 0);
  EXPECT_FALSE(quiet.bind);
  EXPECT_FALSE(quiet.pollSeconds);
}

struct Wrong {
  std::vector<std::string> args;
  std::string why;
};

class RefusesCommandLine : public ::testing::TestWithParam<Wrong> {};

TEST_P(RefusesCommandLine, AsBadUsage) {
  try {
    Parse(GetParam().args);
    ADD_FAILURE() << "accepted";
  } catch (const CliFailure& e) {
    EXPECT_EQ(e.ExitCode(), exit_code::kBadUsage);
    EXPECT_THAT(e.what(), HasSubstr(GetParam().why));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Args, RefusesCommandLine,
    ::testing::Values(
        Wrong{{}, "a command is missing"}, Wrong{{"frob"}, "unknown command \"frob\""},
        Wrong{{"state"}, "state: DEVICE is missing"},
        Wrong{{"trace-report", "-o", "r.html"}, "trace-report: TRACE is missing"},
        Wrong{{"trace-report", "t.jsonl"}, "trace-report: -o REPORT.html is missing"},
        Wrong{{"trace-report", "t.jsonl", "-o", "a", "--output", "b"}, "--output is given twice"},
        Wrong{{"trace-report", "t.jsonl", "-o", "r", "--trace", "x"}, "unknown option --trace"},
        Wrong{{"state", "AMP1", "-o", "r.html"}, "unknown option --output"},
        Wrong{{"state", "A", "B"}, "unexpected argument \"B\""},
        Wrong{{"set", "AMP1", "fault"}, "unknown state \"fault\""},
        Wrong{{"set", "AMP1", "standby", "--band", "2"}, "apply only to operate"},
        Wrong{{"set", "AMP1", "operate", "--band", "11"}, "from 0 to 10"},
        Wrong{{"demo", "--band", "0"}, "from 1 to 10"},
        Wrong{{"errors", "A", "--max", "0"}, "--max \"0\""},
        Wrong{{"state", "A", "--time-scale", "0"}, "expected a number from 0.001"},
        Wrong{{"state", "A", "--time-scale", "nan"}, "expected a number from 0.001"},
        Wrong{{"state", "A", "--time-scale", "1e-308"}, "--time-scale \"1e-308\""},
        Wrong{{"state", "A", "--time-scale", "0.0009"}, "from 0.001 to 1000000"},
        Wrong{{"state", "A", "--devices", "a.toml", "--devices", "b.toml"},
              "state: --devices is given twice; give it once"},
        Wrong{{"set", "A", "operate", "--band", "2", "--band=3"}, "--band is given twice"},
        Wrong{{"shell", "--trace", "a", "--trace", "a"}, "--trace is given twice"},
        Wrong{{"state", "A", "--time-scale", "2x"}, "--time-scale \"2x\""},
        Wrong{{"shell", "--wait-window", "yes"}, "expected on or off"},
        Wrong{{"shell", "--devices", ""}, "expected a file name"},
        Wrong{{"shell", "--trace"}, "--trace needs a value"},
        Wrong{{"demo", "--devices", "x"}, "demo: unknown option --devices"},
        Wrong{{"demo", "--model", "PA9999"}, "expected PA4400, PA4413, PA4415 or PA4520"},
        Wrong{{"demo", "--route", "serial"}, "expected lan, visa or gpib"},
        Wrong{{"identify", "A", "--max", "3"}, "identify: unknown option --max"},
        Wrong{{"panel", "--port", "65536"}, "from 0 to 65535"},
        Wrong{{"panel", "--port", "-1"}, "--port \"-1\""},
        Wrong{{"panel", "--bind", "localhost"}, "expected an IPv4 or IPv6 address"},
        Wrong{{"panel", "--bind", "127.0.0.1:80"}, "expected an IPv4 or IPv6 address"},
        Wrong{{"panel", "--poll", "0"}, "expected seconds from 0.1 to 86400"},
        Wrong{{"panel", "--poll", "inf"}, "--poll \"inf\""},
        Wrong{{"panel", "DEVICE"}, "panel: unexpected argument"},
        Wrong{{"state", "A", "--port", "1"}, "state: unknown option --port"},
        Wrong{{"state", "A", "--help=x"}, "state: unknown option --help"}));

TEST(CommandLine, TheSlowestTimeScaleAndARepeatableFaultAreAccepted) {
  EXPECT_EQ(Parse({"state", "A", "--time-scale", "0.001"}).host.timeScale, 0.001);
  EXPECT_EQ(Parse({"demo", "--fault", "silent", "--fault", "garbage"}).faults.size(), 2u);
}

TEST(CommandLine, AQuotedValueIsCutAndItsControlCharactersAreEscaped) {
  const std::string hostile = "\x1b]0;owned\x07\x1b[2J" + std::string(100000, 'x');
  try {
    Parse({"state", "A", "--wait-window", hostile});
    ADD_FAILURE() << "accepted";
  } catch (const CliFailure& e) {
    const std::string what = e.what();
    EXPECT_THAT(what, HasSubstr("--wait-window \"\\x1B]0;owned\\x07\\x1B[2Jxxx"));
    EXPECT_THAT(what, HasSubstr("x...\": expected on or off"));
    EXPECT_EQ(what.find('\x1b'), std::string::npos);
    EXPECT_LT(what.size(), 400u);
  }
}

}  // namespace
}  // namespace marlin::cli
