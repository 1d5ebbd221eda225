// The console's line contract with a live script on the other end of the pipes: one flushed
// answer per command, errors as number and JSON text, control characters visible.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/e2e_fixture.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class ShellContract : public ::testing::Test {
 protected:
  std::string Ask(ChildProcess& shell, const std::string& command) {
    shell.Write(command + "\n");
    return shell.ReadLine(60s).value_or("<no answer>");
  }
  TempFolder folder;
};

TEST_F(ShellContract, AnswersEachLineBeforeTheNextIsWrittenAndGoesOnAfterErrors) {
  SimProcess sim({"--model", "PA4415"}, folder.Path() / "transcript.jsonl");
  const auto devices = folder.Write("devices.toml", DeviceListFor(TestRoute::Lan, sim));
  ChildProcess shell(
      {kMarlinctl, "shell", "--devices", devices.string(), "--time-scale", kTimeScale});

  EXPECT_THAT(Ask(shell, "bogus"), StartsWith("error 0 \"unknown command \\\"bogus\\\""));
  EXPECT_THAT(Ask(shell, "status x"), StartsWith("error 0 \"status: expected a whole number"));
  EXPECT_THAT(Ask(shell, "name A\rB"),
              AllOf(StartsWith("error 5302 \""), HasSubstr("A\\rB"), HasSubstr("devices.toml")));
  EXPECT_EQ(Ask(shell, "name AMP1"), "ok");
  EXPECT_EQ(Ask(shell, "status 1"), "ok");
  EXPECT_EQ(Ask(shell, "check"), "ok");
  EXPECT_EQ(Ask(shell, "checkforerror"), "ok \"\"");
  // The simulator's console queues an entry now, after the connection's *CLS.
  sim.Console("fault error=-113:Undefined");
  EXPECT_EQ(Ask(shell, "checkforerror"), R"(ok "-113,\"Undefined\"")");
  EXPECT_EQ(Ask(shell, "checkforerror"), "ok \"\"");
  EXPECT_EQ(Ask(shell, "release"), "ok");
  EXPECT_THAT(Ask(shell, "getstate"), StartsWith("error 0 \"there is no driver object"));
  EXPECT_EQ(Ask(shell, "new"), "ok");
  EXPECT_EQ(Ask(shell, "get status"), "ok 0");
  // End of input ends the console like quit.
  EXPECT_EQ(shell.Finish(60s), 0);
  EXPECT_EQ(shell.Stderr(), "");
}

TEST_F(ShellContract, ThePA4520WaitWindowIsDrawnOnStderrOnlyWhenAllowed) {
  SimProcess sim({"--model", "PA4520", "--power", "on"}, folder.Path() / "transcript.jsonl");
  const auto devices = folder.Write("devices.toml", DeviceListFor(TestRoute::Lan, sim));
  const std::string script = "name AMP1\nstatus 1\ncheck\nsetstate 2\nquit\n";
  for (const char* allowed : {"on", "off"}) {
    const Finished run = RunToEnd({kMarlinctl, "shell", "--devices", devices.string(),
                                   "--time-scale", kTimeScale, "--wait-window", allowed},
                                  script);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ok\nok\nok\nok\nok\n");
    if (std::string(allowed) == "on") {
      EXPECT_THAT(run.err, AllOf(HasSubstr("[POWER OFF, green] AMP1\n"),
                                 HasSubstr("AMP1: wait window closed\n")));
    } else {
      EXPECT_THAT(run.err, Not(HasSubstr("wait window")));
    }
  }
}

TEST_F(ShellContract, AMissingDeviceListIsNamedInTheAnswerOfEveryCommandThatNeedsIt) {
  const auto missing = folder.Path() / "nowhere.toml";
  const Finished run = RunToEnd({kMarlinctl, "shell", "--devices", missing.string()},
                                "get devicetype\nname AMP1\nquit\n");
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "ok \"PA4400 Amplifier\"");
  EXPECT_THAT(lines[1], AllOf(StartsWith("error "), HasSubstr("nowhere.toml")));
  EXPECT_THAT(run.err, HasSubstr("nowhere.toml\" (from --devices) does not exist yet"));
}

}  // namespace
}  // namespace marlin::testing
