// The one-shot commands as a lab engineer runs them: against a marlin-sim process, checked by
// exit status, output and what the amplifier received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/e2e_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

constexpr int kDriverError = 1, kBadUsage = 2, kConnectionFailure = 3, kConfiguration = 4;

struct OneShot {
  const char* name;
  std::vector<std::string> simOptions;
  TestRoute route;
  std::vector<std::string> args;  // after the command word's device list option
  int status;
  std::vector<std::string> out, err;
};

class OneShotCommand : public ::testing::TestWithParam<OneShot> {};

TEST_P(OneShotCommand, ExitsWithItsStatusAndSaysWhatHappened) {
  const OneShot& c = GetParam();
  TempFolder folder;
  SimProcess sim(c.simOptions, folder.Path() / "transcript.jsonl");
  const auto devices = folder.Write("devices.toml", DeviceListFor(c.route, sim));
  std::vector<std::string> argv{kMarlinctl};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  argv.insert(argv.end(), {"--devices", devices.string(), "--time-scale", kTimeScale});
  const Finished run = RunToEnd(argv);
  EXPECT_EQ(run.status, c.status) << run.out << run.err;
  for (const std::string& text : c.out) EXPECT_THAT(run.out, HasSubstr(text));
  for (const std::string& text : c.err) EXPECT_THAT(run.err, HasSubstr(text));
}

const std::vector<std::string> kStandingBy{"--model",        "PA4415", "--power",        "on",
                                           "--gateway-port", "0",      "--gpib-address", "3"};

INSTANTIATE_TEST_SUITE_P(
    Commands, OneShotCommand,
    ::testing::Values(
        OneShot{"Identify",
                kStandingBy,
                TestRoute::Lan,
                {"identify", "AMP1"},
                0,
                {"AMP1  Bench amplifier\n", "identification  PA4415,SW:2.20\n",
                 "serial          100001\n", "firmware        2.2\n", "model           PA4415\n"}},
        OneShot{"State", kStandingBy, TestRoute::Gpib, {"state", "AMP1"}, 0, {"AMP1: Off (0)\n"}},
        OneShot{"SetOperateShowsEveryWait",
                kStandingBy,
                TestRoute::Visa,
                {"set", "AMP1", "operate", "--band", "3"},
                0,
                {"AMP1: switching to Operate\n", "of 17.5 s  switching the band path\n",
                 "of 30.0 s  Operate: confirming RF:OUTP:STAT?\n", "AMP1: Operate (3)\n"}},
        OneShot{
            "ErrorsUntilEmpty",
            {"--fault", "error=-113:Undefined header", "--fault", "error=-222:Data out of range"},
            TestRoute::Visa,
            {"errors", "AMP1"},
            0,
            {"AMP1: -113,\"Undefined header\"\nAMP1: -222,\"Data out of range\"\n"}},
        OneShot{
            "ErrorsAtMost",
            {"--fault", "error=-113:Undefined header", "--fault", "error=-222:Data out of range"},
            TestRoute::Visa,
            {"errors", "AMP1", "--max", "1"},
            0,
            {"AMP1: stopped after 1 entries; more may be queued\n"}},
        OneShot{
            "Reset", kStandingBy, TestRoute::Lan, {"reset", "AMP1"}, 0, {"AMP1: faults reset\n"}},
        OneShot{"LockedAmplifierIsADriverError",
                {"--model", "PA4415", "--power", "on", "--lock", "FRONT"},
                TestRoute::Lan,
                {"set", "AMP1", "operate", "--band", "2"},
                kDriverError,
                {},
                {"AMP1: error 4081: Marlin Amplifier-AMP1: Marlin Amplifier-AMP1<FRONT>:Switching "
                 "could not be executed "
                 "because AMP1 amplifier is not in REMOTE mode!"}},
        OneShot{"UnacceptedIdentificationIsAConnectionFailure",
                {"--fault", "garbage"},
                TestRoute::Lan,
                {"state", "AMP1"},
                kConnectionFailure,
                {},
                {"AMP1: not connected over LAN 127.0.0.1:", "did not identify itself"}},
        OneShot{"UnknownDeviceIsBadUsage",
                kStandingBy,
                TestRoute::Lan,
                {"state", "AMP9"},
                kBadUsage,
                {},
                {"has no device \"AMP9\"; it holds: AMP1"}},
        OneShot{"UnknownStateIsBadUsage",
                kStandingBy,
                TestRoute::Lan,
                {"set", "AMP1", "fly"},
                kBadUsage,
                {},
                {"unknown state \"fly\"", "marlinctl --help"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OneShotCommand, ARefusedConnectionSaysWhy) {
  TempFolder folder;
  // Port 1 of the loopback address: nothing listens there.
  const struct {
    const char* device;
    const char* said;
  } cases[] = {{"interface = 50\nlan_address = \"127.0.0.1:1\"", "LAN 127.0.0.1:1: "},
               {"interface = 60\nvisa_resource = \"TCPIP0::127.0.0.1::1::SOCKET\"",
                "VISA TCPIP0::127.0.0.1::1::SOCKET: VISA status 0x"}};
  for (const auto& c : cases) {
    const auto devices = folder.Write("devices.toml", std::string("[devices.AMP1]\n") + c.device);
    const Finished run = RunToEnd({kMarlinctl, "identify", "AMP1", "--devices", devices.string()},
                                  "", {{"MARLIN_VISA_LIBRARY", ""}});
    EXPECT_EQ(run.status, kConnectionFailure);
    EXPECT_THAT(run.err, HasSubstr(std::string("AMP1: not connected over ") + c.said));
  }
}

TEST(OneShotCommand, TheDeviceListComesFromTheOptionTheVariableOrThePerUserDefault) {
  TempFolder folder;
  const auto env = [&](std::map<std::string, std::string> values) {
    values.insert({"MARLIN_DEVICES", ""});
    values.insert({"XDG_CONFIG_HOME", ""});
    return values;
  };
  const auto broken = folder.Write("broken.toml", "[devices.AMP1]\ninterface = 50\nport = 1\n");

  Finished run =
      RunToEnd({kMarlinctl, "state", "AMP1"}, "", env({{"MARLIN_DEVICES", broken.string()}}));
  EXPECT_EQ(run.status, kConfiguration);
  EXPECT_THAT(run.err, AllOf(HasSubstr("broken.toml"), HasSubstr("line 3"),
                             HasSubstr("from the environment variable MARLIN_DEVICES")));

  run = RunToEnd({kMarlinctl, "state", "AMP1"}, "",
                 env({{"XDG_CONFIG_HOME", folder.Path().string()}}));
  EXPECT_EQ(run.status, kConfiguration);
  EXPECT_THAT(run.err, HasSubstr((folder.Path() / "marlin/devices.toml").string() +
                                 "\" does not exist (device list from the default"));

  run = RunToEnd({kMarlinctl, "state", "AMP1", "--devices", (folder.Path() / "x.toml").string()});
  EXPECT_EQ(run.status, kConfiguration);
  EXPECT_THAT(run.err, HasSubstr("x.toml\" does not exist (device list from --devices"));
}

TEST(OneShotCommand, EveryCommandHasHelpWithExamples) {
  for (const char* command : {"demo", "identify", "state", "set", "errors", "reset", "shell"}) {
    const Finished run = RunToEnd({kMarlinctl, command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_THAT(run.out, AllOf(HasSubstr(std::string("marlinctl ") + command), HasSubstr("xample")))
        << command;
  }
  EXPECT_EQ(RunToEnd({kMarlinctl, "--help"}).status, 0);
  EXPECT_EQ(RunToEnd({kMarlinctl}).status, kBadUsage);
}

}  // namespace
}  // namespace marlin::testing
