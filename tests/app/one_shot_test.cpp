// The one-shot commands as a lab engineer runs them: against a marlin-sim process, checked by
// exit status, output and what the amplifier received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

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
                {"AMP1: switching to Operate\n", "of 24.5 s  waiting for the band path to switch\n",
                 "of 42.7 s  waiting for Operate to be confirmed\n", "AMP1: Operate (3)\n"}},
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
        OneShot{"SilentGatewayNamesTheTimeoutInForce",
                {"--fault", "silent", "--gateway-port", "0", "--gpib-address", "3"},
                TestRoute::Gpib,
                {"state", "AMP1"},
                kConnectionFailure,
                {},
                {"AMP1: not connected over GPIB board 0 address 3: ",
                 "no answer within " + std::to_string(10000 / std::stoi(kTimeScale)) +
                     " ms"}},  // the gateway's 10 s, in real time
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

class HostileTexts : public ::testing::TestWithParam<TestRoute> {};

// Escape sequences that would retitle and clear the terminal, and a byte that is not UTF-8.
const std::string kHostile = "\x1b]0;owned\x07\x1b[2J\xe9";
const std::string kHostileShown = "\\x1B]0;owned\\x07\\x1B[2J\\xE9";

TEST_P(HostileTexts, ReachTheTerminalEscaped) {
  TempFolder folder;
  SimProcess sim(
      {"--fault", "error=-100:" + kHostile, "--gateway-port", "0", "--gpib-address", "3"},
      folder.Path() / "transcript.jsonl");
  std::string list = DeviceListFor(GetParam(), sim);
  list.replace(list.find("Bench amplifier"), 15, "Bench \\u001b[2J amplifier");
  const auto devices = folder.Write("devices.toml", list);

  const Finished errors = RunToEnd(
      {kMarlinctl, "errors", "AMP1", "--devices", devices.string(), "--time-scale", kTimeScale});
  EXPECT_EQ(errors.status, 0) << errors.err;
  // Connecting on the GPIB and LAN routes clears the queue (*CLS) before it can be read.
  EXPECT_THAT(errors.out,
              HasSubstr(GetParam() == TestRoute::Visa ? "AMP1: -100,\"" + kHostileShown + "\"\n"
                                                      : "AMP1: no error queued\n"));

  const Finished identify = RunToEnd(
      {kMarlinctl, "identify", "AMP1", "--devices", devices.string(), "--time-scale", kTimeScale});
  EXPECT_EQ(identify.status, 0) << identify.err;
  EXPECT_THAT(identify.out, HasSubstr("AMP1  Bench \\x1B[2J amplifier\n"));
  for (const Finished* run : {&errors, &identify}) {
    EXPECT_EQ(run->out.find('\x1b'), std::string::npos);
    EXPECT_EQ(run->out.find('\xe9'), std::string::npos);
  }
}

std::string RouteName(const ::testing::TestParamInfo<TestRoute>& info) {
  switch (info.param) {
    case TestRoute::Lan:
      return "Lan";
    case TestRoute::Visa:
      return "Visa";
    case TestRoute::Gpib:
      return "Gpib";
  }
  return {};
}

INSTANTIATE_TEST_SUITE_P(EveryRoute, HostileTexts,
                         ::testing::Values(TestRoute::Lan, TestRoute::Visa, TestRoute::Gpib),
                         RouteName);

TEST(OneShotCommand, FilesItCannotTrustAreRefusedWithAClearError) {
  TempFolder folder;
  const std::string needsRepair = "# kept\n[devices.AMP1]\ninterface = 50\nlan_address = \"h\"\n";
  const auto readOnly = folder.Write("readonly.toml", needsRepair);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const auto fine = folder.Write("devices.toml", needsRepair);
  const auto fifo = folder.Path() / "fifo.toml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto outOfRange = folder.Write("range.toml", "[devices.AMP1]\ninterface = 77\n");
  const auto badPort = folder.Write(
      "port.toml", "[devices.AMP1]\ninterface = 50\nlan_address = \"127.0.0.1:99999\"\n");
  const struct {
    const char* title;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"read-only list",
       {"state", "AMP1", "--devices", readOnly.string()},
       kDriverError,
       {"error 75", "readonly.toml", "read-only"}},
      {"trace into the list",
       {"state", "AMP1", "--devices", fine.string(), "--trace", fine.string()},
       kConfiguration,
       {"is the device list", "devices.toml"}},
      {"a pipe as the list",
       {"state", "AMP1", "--devices", fifo.string()},
       kConfiguration,
       {"fifo.toml", "not a regular file"}},
      {"interface out of range",
       {"state", "AMP1", "--devices", outOfRange.string()},
       kConfiguration,
       {"range.toml\", line 2, key \"devices.AMP1.interface\": interface 77 is no route"}},
      {"port out of range",
       {"state", "AMP1", "--devices", badPort.string()},
       kConnectionFailure,
       {"port 99999 is outside 1 to 65535"}},
      {"device name of 100,000 characters",
       {"state", std::string(100000, 'A'), "--devices", fine.string()},
       kBadUsage,
       {"has no device \"AAAA", "AAA...\"; it holds: AMP1"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv{kMarlinctl};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const Finished run = RunToEnd(argv);
    EXPECT_EQ(run.status, c.status) << c.title << ": " << run.err;
    for (const std::string& text : c.said) EXPECT_THAT(run.err, HasSubstr(text)) << c.title;
    EXPECT_LT(run.err.size(), 2000u) << c.title;
  }
  EXPECT_EQ(TempFolder::Read(readOnly), needsRepair);
  EXPECT_EQ(TempFolder::Read(fine), needsRepair);
  EXPECT_EQ(folder.Entries(), 5u);
}

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
